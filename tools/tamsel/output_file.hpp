// SPDX-License-Identifier: MIT
// Where -o sends an output, opened as a careful shell redirection would.
// One interface, two implementations: output_file_posix.cpp and
// output_file_windows.cpp (the build picks one).  On POSIX systems:
//
//   - Anything that is not a regular file (a FIFO, a terminal, /dev/null, a
//     socket...) and any name under /dev or /proc (/dev/stdout...) is opened
//     and written directly, as `> NAME` would.
//   - A regular file, or a new name, is written under a short temporary name
//     in the same directory, synced to disk, renamed over the target and the
//     directory synced: the target holds either its old or its complete new
//     contents, even after a power cut.  A symbolic link is followed and the
//     file it names is replaced (the link stays a link); the new file keeps
//     the old one's permission bits, and its owner and group where the
//     process may set them.  A new file gets 0666 less the umask.
//   - A regular file with more than one hard link is refused: replacing it
//     would cut it off from its other names, and writing it in place could
//     leave it half-written.
//
// On Windows, the same promises in Windows terms: a device name (NUL, CON,
// COM1, \\.\...) is written directly; anything else is written under a
// short temporary name beside the target, flushed to disk (FlushFileBuffers)
// and moved into place only when complete.  An existing target is swapped
// with ReplaceFileW, which keeps its attributes, security descriptor (ACL)
// and owner, as the POSIX side keeps permission bits and owner; a new name
// is moved with MoveFileExW(MOVEFILE_REPLACE_EXISTING |
// MOVEFILE_WRITE_THROUGH).  A symbolic link is followed, a file with several
// hard links refused as above, and a read-only target refused, as cmd's
// `> NAME` refuses it.  Names are UTF-8 throughout and reach the system
// through its wide-character calls.
#ifndef TAMSEL_TOOLS_OUTPUT_FILE_HPP
#define TAMSEL_TOOLS_OUTPUT_FILE_HPP

#include <memory>
#include <string>

#include "convert.hpp"

namespace tamsel::cli {

class OutputFile : public Sink {
 public:
  // Opens the output named path; throws Failure(CannotWrite).
  static std::unique_ptr<OutputFile> open(const std::string& path);

  // Makes the output final once the whole conversion has succeeded; without
  // it, the destructor leaves the target as it was.  Throws Failure.
  virtual void commit() = 0;
};

// Writes all of data to fd; name says in messages what fd is.  A closed pipe
// ends the process as SIGPIPE would on POSIX (unless the caller ignores
// SIGPIPE); any other error throws Failure(CannotWrite).
void writeAll(int fd, const char* data, std::size_t size, const std::string& name);

std::string errnoText(int error);

// Makes the process ready to write outputs: call once, first thing, while it
// is the only thread.  POSIX: the terminating signals are routed to the
// thread that removes temporaries, and the umask is read.  Windows: Ctrl+C,
// Ctrl+Break and closing the console remove the temporaries.
void prepareOutputs();

}  // namespace tamsel::cli

#endif

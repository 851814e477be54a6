// SPDX-License-Identifier: MIT
// An input named on the command line, open for reading as a descriptor the
// CSV reader reads from ("-" is standard input, left open).  The POSIX and
// Windows implementations are input_file_posix.cpp and input_file_windows.cpp.
#ifndef TAMSEL_TOOLS_INPUT_FILE_HPP
#define TAMSEL_TOOLS_INPUT_FILE_HPP

#include <string>

namespace tamsel::cli {

class InputFile {
 public:
  // Throws Failure(CannotRead) naming path.
  explicit InputFile(const std::string& path);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_ = 0;
};

}  // namespace tamsel::cli

#endif

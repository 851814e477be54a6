// SPDX-License-Identifier: MIT
// Descriptors 0, 1 and 2 held open from the first moment.
//
// Under cron, daemons and some CI runners a program may start with standard
// input, output or error closed.  The first file it opens would then get
// that number, and a message meant for standard error would land in the
// middle of an output file.  Each closed one is opened on /dev/null before
// anything else opens a file.  On Windows, where a missing standard handle
// is the same danger, each is opened on NUL, and all three are switched to
// binary mode: the C runtime's text mode would turn LF into CRLF on output
// and stop reading input at a Ctrl+Z byte.
#ifndef TAMSEL_TOOLS_STANDARD_DESCRIPTORS_HPP
#define TAMSEL_TOOLS_STANDARD_DESCRIPTORS_HPP

namespace tamsel::cli {

struct StandardDescriptors {
  bool outputWasClosed = false;  // so that data is not silently sent to /dev/null
  bool openFailed = false;       // /dev/null could not stand in for a closed one
};

StandardDescriptors holdStandardDescriptorsOpen();

// Whether standard error is a terminal that the progress line may repaint
// (on Windows: a console that takes the escape sequences it uses).
bool standardErrorIsTerminal();

}  // namespace tamsel::cli

#endif

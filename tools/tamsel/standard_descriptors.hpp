// SPDX-License-Identifier: MIT
// Descriptors 0, 1 and 2 held open from the first moment.
//
// Under cron, daemons and some CI runners a program may start with standard
// input, output or error closed.  The first file it opens would then get
// that number, and a message meant for standard error would land in the
// middle of an output file.  Each closed one is opened on /dev/null before
// anything else opens a file.
#ifndef TAMSEL_TOOLS_STANDARD_DESCRIPTORS_HPP
#define TAMSEL_TOOLS_STANDARD_DESCRIPTORS_HPP

namespace tamsel::cli {

struct StandardDescriptors {
  bool outputWasClosed = false;  // so that data is not silently sent to /dev/null
  bool openFailed = false;       // /dev/null could not stand in for a closed one
};

StandardDescriptors holdStandardDescriptorsOpen();

}  // namespace tamsel::cli

#endif

// SPDX-License-Identifier: MIT
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "standard_descriptors.hpp"

namespace tamsel::cli {

StandardDescriptors holdStandardDescriptorsOpen() {
  StandardDescriptors result;
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    if (fd == 1) result.outputWasClosed = true;
    // The lowest free number is fd itself, since the ones below are open.
    const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened != fd) {
      result.openFailed = true;
      if (opened >= 0) ::close(opened);
    }
  }
  return result;
}

bool standardErrorIsTerminal() { return ::isatty(2) == 1; }

}  // namespace tamsel::cli

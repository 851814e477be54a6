// SPDX-License-Identifier: MIT
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "standard_descriptors.hpp"

namespace tamsel::cli {

StandardDescriptors holdStandardDescriptorsOpen() {
  StandardDescriptors result;
  for (int fd = 0; fd <= 2; ++fd) {
    // -2: the process has no such standard handle at all.
    if (::_get_osfhandle(fd) < 0) {
      if (fd == 1) result.outputWasClosed = true;
      const int opened = ::_wopen(L"NUL", fd == 0 ? _O_RDONLY : _O_WRONLY);
      if (opened < 0 || (opened != fd && ::_dup2(opened, fd) != 0)) result.openFailed = true;
      if (opened >= 0 && opened != fd) ::_close(opened);
    }
    (void)::_setmode(fd, _O_BINARY);
  }
  return result;
}

bool standardErrorIsTerminal() {
  // A console takes the progress line's escape sequences once asked to (from
  // Windows 10 on); NUL and older consoles are left alone.
  const HANDLE handle = ::GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  if (handle == INVALID_HANDLE_VALUE || handle == nullptr || ::GetConsoleMode(handle, &mode) == 0) return false;
  return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
         ::SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

}  // namespace tamsel::cli

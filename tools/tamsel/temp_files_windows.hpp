// SPDX-License-Identifier: MIT
// Windows only: the temporary files of the outputs being written, and what
// happens to them when Ctrl+C, Ctrl+Break or closing the console ends the
// process.
//
// The system calls the console control handler on a thread of its own.  It
// takes the same lock as the workers (so a temporary is either not created
// yet, or created and registered, or moved into place and forgotten, never
// half of one), removes every temporary and ends the process with the status
// a POSIX shell reports for the matching signal: 130 for Ctrl+C (SIGINT),
// 131 for Ctrl+Break (SIGQUIT, the other key that ends a program) and 129
// when the console goes away (SIGHUP).  After that no temporary is created
// or moved any more.  A caller that started the tool with Ctrl+C disabled
// (CREATE_NEW_PROCESS_GROUP, or its own SetConsoleCtrlHandler(NULL, TRUE))
// keeps it disabled: the system then does not call the handler for it.
//
// For the tests, which cannot press Ctrl+C in a console they do not have:
// with TAMSEL_TEST_CONSOLE_EVENT set to ctrl-c, ctrl-break or close, the
// first temporary created delivers that event to the handler itself, which
// then runs exactly as it does for the real event.
#ifndef TAMSEL_TOOLS_TEMP_FILES_WINDOWS_HPP
#define TAMSEL_TOOLS_TEMP_FILES_WINDOWS_HPP

#include <windows.h>

#include <mutex>
#include <random>
#include <string>
#include <vector>

namespace tamsel::cli {

class TempFiles {
 public:
  // The one registry of the process; never destroyed, since the handler's
  // thread may use it while the process ends.
  static TempFiles& instance();

  // Installs the console control handler.  Call once, at start.
  void watchConsole();

  // Creates an empty file with a short name in directory and registers it;
  // returns its handle (open for writing) and sets path, or returns
  // INVALID_HANDLE_VALUE with GetLastError() set.
  HANDLE create(const std::wstring& directory, std::wstring& path);

  // Puts a registered temporary, closed, in target's place and forgets it:
  // ReplaceFileW over an existing target (keeping its attributes and
  // security), MoveFileExW for a new one.  Returns 0 or the system's error
  // code (the temporary is then still registered).
  unsigned long commit(const std::wstring& path, const std::wstring& target, bool targetExists);

  // Removes a registered temporary and forgets it.
  void discard(const std::wstring& path);

  // Removes every temporary and ends the process with the status of event.
  [[noreturn]] void endBy(unsigned long event);

 private:
  TempFiles() = default;
  void deliverTestEvent();

  std::mutex mutex_;
  std::vector<std::wstring> temporaries_;            // guarded by mutex_
  std::minstd_rand random_{std::random_device{}()};  // the temporaries' names; guarded by mutex_
  bool testEventDelivered_ = false;                  // guarded by mutex_
};

}  // namespace tamsel::cli

#endif

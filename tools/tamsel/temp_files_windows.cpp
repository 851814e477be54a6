// SPDX-License-Identifier: MIT
#include "temp_files_windows.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace tamsel::cli {

namespace {

BOOL WINAPI onConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      TempFiles::instance().endBy(event);
    default:
      return FALSE;
  }
}

UINT statusOf(unsigned long event) {
  switch (event) {
    case CTRL_C_EVENT:
      return 128 + 2;  // SIGINT
    case CTRL_BREAK_EVENT:
      return 128 + 3;  // SIGQUIT
    default:
      return 128 + 1;  // SIGHUP
  }
}

}  // namespace

TempFiles& TempFiles::instance() {
  // Leaked on purpose: the handler's thread may still use it during exit.
  static TempFiles* const files = new TempFiles;  // NOLINT(cppcoreguidelines-owning-memory)
  return *files;
}

void TempFiles::watchConsole() { ::SetConsoleCtrlHandler(onConsoleEvent, TRUE); }

HANDLE TempFiles::create(const std::wstring& directory, std::wstring& path) {
  // A short name, so that any output name the directory allows still works.
  constexpr wchar_t kLetters[] = L"abcdefghijklmnopqrstuvwxyz0123456789";  // one case: names ignore it here
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    HANDLE handle = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && handle == INVALID_HANDLE_VALUE; ++attempt) {
      std::wstring candidate = directory;
      if (!candidate.empty() && candidate.back() != L'\\' && candidate.back() != L'/') candidate += L'\\';
      candidate += L".tamsel-";
      for (int i = 0; i < 6; ++i) candidate += kLetters[random_() % (std::size(kLetters) - 1)];
      // Shared for deletion, so that the console handler can remove it while a
      // worker still holds it open.
      handle = ::CreateFileW(candidate.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
      if (handle == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS) return handle;
      if (handle != INVALID_HANDLE_VALUE) {
        temporaries_.push_back(candidate);
        path = candidate;
      }
    }
    if (handle == INVALID_HANDLE_VALUE) {
      ::SetLastError(ERROR_FILE_EXISTS);
      return handle;
    }
    if (testEventDelivered_ || std::getenv("TAMSEL_TEST_CONSOLE_EVENT") == nullptr) return handle;
    testEventDelivered_ = true;
  }
  deliverTestEvent();
  return INVALID_HANDLE_VALUE;  // not reached: the handler ends the process
}

void TempFiles::deliverTestEvent() {
  const char* const name = std::getenv("TAMSEL_TEST_CONSOLE_EVENT");
  DWORD event = CTRL_C_EVENT;
  if (std::strcmp(name, "ctrl-break") == 0) event = CTRL_BREAK_EVENT;
  if (std::strcmp(name, "close") == 0) event = CTRL_CLOSE_EVENT;
  onConsoleEvent(event);
}

unsigned long TempFiles::commit(const std::wstring& path, const std::wstring& target, bool targetExists) {
  const std::lock_guard<std::mutex> lock(mutex_);
  bool moved = targetExists && ::ReplaceFileW(target.c_str(), path.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                                              nullptr, nullptr) != 0;
  DWORD error = moved ? 0 : ::GetLastError();
  // A target removed meanwhile is a new name again.
  if (!moved && (!targetExists || error == ERROR_FILE_NOT_FOUND)) {
    moved = ::MoveFileExW(path.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    error = moved ? 0 : ::GetLastError();
  }
  if (moved) std::erase(temporaries_, path);
  return error;
}

void TempFiles::discard(const std::wstring& path) {
  const std::lock_guard<std::mutex> lock(mutex_);
  ::DeleteFileW(path.c_str());
  std::erase(temporaries_, path);
}

void TempFiles::endBy(unsigned long event) {
  // The lock is never released: no worker creates or moves a temporary
  // after this point.  A worker's handle may still be open on one: the file
  // is then removed as soon as the process ends and the handle closes.
  mutex_.lock();
  for (const std::wstring& path : temporaries_) ::DeleteFileW(path.c_str());
  temporaries_.clear();
  ::TerminateProcess(::GetCurrentProcess(), statusOf(event));
  ::ExitProcess(statusOf(event));  // not reached
}

}  // namespace tamsel::cli

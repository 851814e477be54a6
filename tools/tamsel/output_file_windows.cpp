// SPDX-License-Identifier: MIT
#include <fcntl.h>
#include <fmt/format.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "message_text.hpp"
#include "output_file.hpp"
#include "temp_files_windows.hpp"
#include "windows_text.hpp"

namespace fs = std::filesystem;

namespace tamsel::cli {

namespace {

[[noreturn]] void cannot(const std::string& what, const std::string& path, const std::string& why) {
  throw Failure(Status::CannotWrite, fmt::format("{}: {}: {}", path, what, why));
}

// CON, NUL, COM1... name a device in any directory and with any extension;
// \\.\ names one explicitly.
bool namesDevice(const std::string& path) {
  if (path.rfind("\\\\.\\", 0) == 0 || path.rfind("//./", 0) == 0) return true;
  const std::size_t slash = path.find_last_of("/\\:");
  std::string stem = path.substr(slash == std::string::npos ? 0 : slash + 1);
  stem = stem.substr(0, stem.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  std::transform(stem.begin(), stem.end(), stem.begin(), [](unsigned char c) { return std::toupper(c); });
  static constexpr std::array<const char*, 6> kNames = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  if (std::find(kNames.begin(), kNames.end(), stem) != kNames.end()) return true;
  return stem.size() == 4 && (stem.rfind("COM", 0) == 0 || stem.rfind("LPT", 0) == 0) && stem[3] >= '1' &&
         stem[3] <= '9';
}

// Written as it is: NUL, CON, a serial port...
class DirectOutput final : public OutputFile {
 public:
  explicit DirectOutput(const std::string& path) : path_(path) {
    fd_ = ::_wopen(wideFromUtf8(path).c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT,
                   _S_IREAD | _S_IWRITE);
    if (fd_ < 0) cannot("cannot open", path, errnoText(errno));
  }
  ~DirectOutput() override {
    if (fd_ >= 0) ::_close(fd_);
  }
  DirectOutput(const DirectOutput&) = delete;
  DirectOutput& operator=(const DirectOutput&) = delete;

  void write(const char* data, std::size_t size) override { writeAll(fd_, data, size, path_); }
  void commit() override {
    const int fd = fd_;
    fd_ = -1;
    if (::_close(fd) != 0) cannot("cannot write", path_, errnoText(errno));
  }

 private:
  std::string path_;
  int fd_ = -1;
};

// Written under a temporary name beside the target and moved into place.
class ReplacedFile final : public OutputFile {
 public:
  ReplacedFile(const std::string& shownName, const std::wstring& target, bool targetExists)
      : shownName_(shownName), target_(target), targetExists_(targetExists) {
    const fs::path parent = fs::path(target).parent_path();
    handle_ = TempFiles::instance().create(parent.empty() ? std::wstring(L".") : parent.wstring(), temp_);
    if (handle_ == INVALID_HANDLE_VALUE) cannot("cannot create", shownName_, windowsErrorText(::GetLastError()));
  }
  ~ReplacedFile() override { abandon(); }
  ReplacedFile(const ReplacedFile&) = delete;
  ReplacedFile& operator=(const ReplacedFile&) = delete;

  void write(const char* data, std::size_t size) override {
    while (size > 0) {
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, std::size_t{1} << 30));
      DWORD written = 0;
      if (::WriteFile(handle_, data, chunk, &written, nullptr) == 0) fail("cannot write", ::GetLastError());
      data += written;
      size -= written;
    }
  }

  void commit() override {
    if (::FlushFileBuffers(handle_) == 0) fail("cannot write", ::GetLastError());
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    if (::CloseHandle(handle) == 0) fail("cannot write", ::GetLastError());
    const unsigned long error = TempFiles::instance().commit(temp_, target_, targetExists_);
    if (error != 0) fail("cannot replace", error);
    temp_.clear();
  }

 private:
  void abandon() {
    if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    if (!temp_.empty()) TempFiles::instance().discard(temp_);
    temp_.clear();
  }
  [[noreturn]] void fail(const char* what, unsigned long error) {
    abandon();
    cannot(what, shownName_, windowsErrorText(error));
  }

  std::string shownName_;
  std::wstring target_;  // the file replaced: where a symbolic link leads
  bool targetExists_;
  std::wstring temp_;  // the temporary's full name
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// The file an existing name leads to, after any symbolic links; refuses
// what cannot be replaced whole.
std::wstring replaceableTarget(const std::string& path, HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (::GetFileInformationByHandle(handle, &info) == 0)
    cannot("cannot create", path, windowsErrorText(::GetLastError()));
  if (info.nNumberOfLinks > 1)
    throw Failure(Status::CannotWrite,
                  fmt::format("{}: the file has {} hard links; replacing it would cut it off from the others and "
                              "writing it in place could leave it half-written, so it is left alone (remove the "
                              "other links, or write to another name)",
                              path, info.nNumberOfLinks));
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0)
    cannot("cannot replace", path, "the file is read-only (clear its read-only attribute, or write to another name)");
  std::wstring real(MAX_PATH, L'\0');
  for (;;) {
    const DWORD size = ::GetFinalPathNameByHandleW(handle, real.data(), static_cast<DWORD>(real.size()), 0);
    if (size == 0) cannot("cannot create", path, windowsErrorText(::GetLastError()));
    if (size < real.size()) {
      real.resize(size);
      return real;
    }
    real.resize(size);
  }
}

}  // namespace

void prepareOutputs() { TempFiles::instance().watchConsole(); }

std::string errnoText(int error) { return std::error_code(error, std::generic_category()).message(); }

void writeAll(int fd, const char* data, std::size_t size, const std::string& name) {
  while (size > 0) {
    const int n = ::_write(fd, data, static_cast<unsigned>(std::min<std::size_t>(size, std::size_t{1} << 30)));
    if (n < 0) throw Failure(Status::CannotWrite, fmt::format("{}: cannot write: {}", name, errnoText(errno)));
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

std::unique_ptr<OutputFile> OutputFile::open(const std::string& path) {
  if (namesDevice(path)) return std::make_unique<DirectOutput>(path);
  const std::wstring name = wideFromUtf8(path);
  const HANDLE existing =
      ::CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (existing == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
      cannot("cannot create", path, windowsErrorText(error));
    return std::make_unique<ReplacedFile>(path, name, false);
  }
  std::wstring target;
  try {
    if (::GetFileType(existing) != FILE_TYPE_DISK) {
      ::CloseHandle(existing);
      return std::make_unique<DirectOutput>(path);
    }
    target = replaceableTarget(path, existing);
  } catch (...) {
    ::CloseHandle(existing);
    throw;
  }
  ::CloseHandle(existing);
  return std::make_unique<ReplacedFile>(path, target, true);
}

}  // namespace tamsel::cli

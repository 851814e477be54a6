// SPDX-License-Identifier: MIT
#include <windows.h>

#include "plan_system.hpp"
#include "windows_text.hpp"

namespace tamsel::cli {

namespace {

// A file's identity: its volume and its index there, the same by any name.
struct FileIdentity {
  DWORD volume = 0;
  DWORD indexHigh = 0;
  DWORD indexLow = 0;
  bool operator==(const FileIdentity&) const = default;
};

bool identify(HANDLE handle, FileIdentity& identity) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (::GetFileInformationByHandle(handle, &info) == 0) return false;
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return false;
  identity = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
  return true;
}

bool identifyNamed(const std::string& path, FileIdentity& identity) {
  const HANDLE handle = ::CreateFileW(wideFromUtf8(path).c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const bool known = identify(handle, identity);
  ::CloseHandle(handle);
  return known;
}

}  // namespace

bool outputIsInputFile(const std::string& output, const std::string& input) {
  FileIdentity out, in;
  if (!identifyNamed(output, out)) return false;
  const bool known = input == "-" ? identify(::GetStdHandle(STD_INPUT_HANDLE), in) : identifyNamed(input, in);
  return known && in == out;
}

std::uint64_t regularFileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (::GetFileAttributesExW(wideFromUtf8(path).c_str(), GetFileExInfoStandard, &data) == 0 ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return 0;
  return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Windows sets no small per-process limit on open handles (the C runtime
// allows thousands of descriptors), and the tool runs at most 256 jobs.
unsigned workersWithinDescriptorLimit(unsigned wanted) { return wanted; }

bool endsInSeparator(const std::string& output) {
  return !output.empty() && (output.back() == '/' || output.back() == '\\');
}

}  // namespace tamsel::cli

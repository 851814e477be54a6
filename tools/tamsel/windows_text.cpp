// SPDX-License-Identifier: MIT
#include "windows_text.hpp"

#include <windows.h>

#include <cerrno>

#include "output_file.hpp"

namespace tamsel::cli {

std::wstring wideFromUtf8(const std::string& text) {
  if (text.empty()) return {};
  const int size = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

std::string utf8FromWide(const std::wstring& text) {
  if (text.empty()) return {};
  const int size =
      ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), size, nullptr, nullptr);
  return narrow;
}

std::string windowsErrorText(unsigned long error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
      return errnoText(ENOENT);
    case ERROR_ACCESS_DENIED:
      return errnoText(EACCES);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return errnoText(ENOSPC);
    case ERROR_WRITE_PROTECT:
      return errnoText(EROFS);
    case ERROR_DIRECTORY:
      return errnoText(ENOTDIR);
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return "the file is in use by another program";
    default:
      break;
  }
  wchar_t* buffer = nullptr;
  const DWORD size = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
      MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text = size > 0 ? std::wstring(buffer, size) : std::wstring();
  if (buffer != nullptr) ::LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L'.' || text.back() == L' '))
    text.pop_back();
  if (text.empty()) return "Windows error " + std::to_string(error);
  return utf8FromWide(text);
}

}  // namespace tamsel::cli

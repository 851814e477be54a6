// SPDX-License-Identifier: MIT
#include <fcntl.h>
#include <fmt/format.h>
#include <io.h>
#include <windows.h>

#include <cerrno>

#include "failure.hpp"
#include "input_file.hpp"
#include "output_file.hpp"
#include "windows_text.hpp"

namespace tamsel::cli {

InputFile::InputFile(const std::string& path) {
  if (path == "-") return;
  const std::wstring name = wideFromUtf8(path);
  // The C runtime says "Permission denied" for a directory; the POSIX
  // build's words say what is wrong.
  const DWORD attributes = ::GetFileAttributesW(name.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    throw Failure(Status::CannotRead, fmt::format("{}: cannot read: {}", path, errnoText(EISDIR)));
  fd_ = ::_wopen(name.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
  if (fd_ < 0) throw Failure(Status::CannotRead, fmt::format("{}: cannot open: {}", path, errnoText(errno)));
}

InputFile::~InputFile() {
  if (fd_ > 2) ::_close(fd_);
}

}  // namespace tamsel::cli

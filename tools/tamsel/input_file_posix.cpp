// SPDX-License-Identifier: MIT
#include <fcntl.h>
#include <fmt/format.h>
#include <unistd.h>

#include <cerrno>

#include "failure.hpp"
#include "input_file.hpp"
#include "output_file.hpp"

namespace tamsel::cli {

InputFile::InputFile(const std::string& path) {
  if (path == "-") return;
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) throw Failure(Status::CannotRead, fmt::format("{}: cannot open: {}", path, errnoText(errno)));
}

InputFile::~InputFile() {
  if (fd_ > 2) ::close(fd_);
}

}  // namespace tamsel::cli

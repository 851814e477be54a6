// SPDX-License-Identifier: MIT
#include "state_file.hpp"

#include <fmt/format.h>

#include <filesystem>
#include <system_error>

#include "csv_reader.hpp"
#include "input_file.hpp"
#include "message_text.hpp"
#include "output_file.hpp"
#include "state_format.hpp"
#include "utf8_path.hpp"

namespace fs = std::filesystem;

namespace tamsel::cli {

namespace {

std::vector<unsigned char> readWhole(const std::string& path) {
  const InputFile file(path);
  csv::FdSource source(file.fd());
  std::vector<unsigned char> bytes;
  char buffer[1 << 14];
  try {
    while (const std::size_t n = source.read(buffer, sizeof buffer)) {
      bytes.insert(bytes.end(), buffer, buffer + n);
      if (bytes.size() > kStateMaxBytes)
        throw Failure(Status::BadState,
                      fmt::format("{}: not a tamsel state file (more than {} bytes; a state file is about 12 KB)",
                                  printable(path, 4096), kStateMaxBytes));
    }
  } catch (const std::system_error& e) {
    throw Failure(Status::CannotRead, fmt::format("{}: cannot read: {}", printable(path, 4096), e.code().message()));
  }
  return bytes;
}

}  // namespace

Continuation loadState(const std::string& path) {
  Continuation continuation{{}, path};
  std::error_code ec;
  // Only a name that is not there starts a new series; anything else that
  // cannot be read is an error, not a silent fresh start.
  if (fs::status(pathFromUtf8(path), ec).type() == fs::file_type::not_found) return continuation;
  try {
    continuation.state = decodeState(readWhole(path));
  } catch (const StateFormatError& e) {
    throw Failure(Status::BadState, fmt::format("{}: {}; the state file is left as it is (remove it, or name "
                                                "another, to start the series again)",
                                                printable(path, 4096), e.what()));
  }
  return continuation;
}

void saveState(const Continuation& continuation) {
  const std::vector<unsigned char> bytes = encodeState(continuation.state);
  const std::unique_ptr<OutputFile> file = OutputFile::open(continuation.name);
  file->write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  file->commit();
}

}  // namespace tamsel::cli

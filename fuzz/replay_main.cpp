// SPDX-License-Identifier: MIT
// Runs a fuzz target's checks over corpus files without libFuzzer: for
// builds that have none (gcc, the 32-bit build under an emulator) and for
// replaying the committed corpus as a plain test.
//
//   replay FILE|DIRECTORY...
// Prints one line per file (its name, whatever the target prints, "ok"),
// exits non-zero when no file was found; a failing check aborts.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

int ReplayFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    return 1;
  }
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::uint8_t> data(bytes.begin(), bytes.end());
  std::fprintf(stderr, "replay %s (%zu bytes)\n", path.c_str(), data.size());
  std::printf("%s: ", path.filename().c_str());
  std::fflush(stdout);
  LLVMFuzzerTestOneInput(data.data(), data.size());
  std::printf("ok\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::filesystem::path> files;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path arg(argv[i]);
    if (std::filesystem::is_directory(arg)) {
      for (const auto& entry : std::filesystem::directory_iterator(arg))
        if (entry.is_regular_file()) files.push_back(entry.path());
    } else {
      files.push_back(arg);
    }
  }
  std::sort(files.begin(), files.end());
  if (files.empty()) {
    std::fprintf(stderr, "replay: no corpus files given\n");
    return 2;
  }
  int failures = 0;
  for (const auto& file : files) failures += ReplayFile(file);
  std::fprintf(stderr, "replayed %zu files\n", files.size() - static_cast<std::size_t>(failures));
  return failures == 0 ? 0 : 1;
}

// SPDX-License-Identifier: MIT
#include <dirent.h>
#include <fmt/format.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>

#include "plan_system.hpp"
#include "standard_error.hpp"

namespace tamsel::cli {

namespace {

// Descriptors open now, counted where the system lists them.
unsigned descriptorsInUse() {
  DIR* list = ::opendir("/proc/self/fd");
  if (list == nullptr) return 16;  // a guess on the safe side: the standard three and the library's few
  unsigned count = 0;
  while (const dirent* entry = ::readdir(list))
    if (entry->d_name[0] != '.') ++count;
  ::closedir(list);
  return count > 0 ? count - 1 : 0;  // the listing's own descriptor
}

}  // namespace

// Each job holds its input, its output's directory and its temporary open.
unsigned workersWithinDescriptorLimit(unsigned wanted) {
  struct rlimit limit {};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return wanted;
  constexpr unsigned kPerJob = 3;
  constexpr unsigned kSpare = 4;  // the directory made for -o DIR/, a listing, a message
  const unsigned used = descriptorsInUse() + kSpare;
  const auto free = limit.rlim_cur > used ? static_cast<unsigned long long>(limit.rlim_cur - used) : 0ULL;
  const unsigned allowed = static_cast<unsigned>(std::max(1ULL, std::min<unsigned long long>(free / kPerJob, wanted)));
  if (allowed < wanted)
    report(
        fmt::format("the limit of {} open files (ulimit -n) allows {} conversions at once; converting {} files "
                    "at a time instead of {}",
                    limit.rlim_cur, allowed, allowed, wanted));
  return allowed;
}

// Only a regular file counts: /dev/null in and out is no clash.
bool outputIsInputFile(const std::string& output, const std::string& input) {
  struct stat out {};
  if (::stat(output.c_str(), &out) != 0 || !S_ISREG(out.st_mode)) return false;
  struct stat in {};
  const int got = input == "-" ? ::fstat(0, &in) : ::stat(input.c_str(), &in);
  return got == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino;
}

std::uint64_t regularFileSize(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return 0;
  return static_cast<std::uint64_t>(info.st_size);
}

bool endsInSeparator(const std::string& output) { return !output.empty() && output.back() == '/'; }

}  // namespace tamsel::cli

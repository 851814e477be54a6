// SPDX-License-Identifier: MIT
#include "plan.hpp"

#include <dirent.h>
#include <fmt/format.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <thread>

#include "message_text.hpp"
#include "standard_error.hpp"

namespace fs = std::filesystem;

namespace tamsel::cli {

namespace {

// Whether the job's output is the very file (not merely the same name) one
// of its inputs is: writing it would replace what is still being read, so a
// run like `tamsel -o a.csv - < a.csv` is refused as `-o a.csv a.csv` is.
// Only a regular file counts: /dev/null in and out is no clash.
bool outputIsInput(const Job& job) {
  struct stat out {};
  if (job.output.empty() || ::stat(job.output.c_str(), &out) != 0 || !S_ISREG(out.st_mode)) return false;
  struct stat in {};
  const int got = job.input == "-" ? ::fstat(0, &in) : ::stat(job.input.c_str(), &in);
  return got == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino;
}

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

// How many files may be converted at once within the descriptor limit: each
// job holds its input, its output's directory and its temporary open.
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

}  // namespace

Plan makePlan(const CommandLine& request, bool standardOutputClosed) {
  const std::vector<std::string>& inputs = request.inputs;
  const std::string& output = request.output;
  std::error_code ec;
  const bool toDirectory = !output.empty() && (output.back() == '/' || fs::is_directory(output, ec));
  if (inputs.size() > 1 && !toDirectory) throw UsageError("several inputs need -o DIR/ (one output file per input)");
  if (std::count(inputs.begin(), inputs.end(), "-") > 1) throw UsageError("standard input ('-') is given twice");

  Plan plan;
  plan.options = request.options;
  plan.standardOutputClosed = standardOutputClosed;
  plan.jobs = std::vector<Job>(inputs.size());
  std::set<std::string> outputs;
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    Job& job = plan.jobs[i];
    job.input = inputs[i];
    if (toDirectory) {
      if (job.input == "-") throw UsageError("standard input has no file name to use in -o DIR/; use -o FILE");
      job.output = (fs::path(output) / fs::path(job.input).filename()).string();
      if (!outputs.insert(fs::path(job.output).lexically_normal().string()).second)
        throw UsageError("two inputs would both be written to " + job.output);
    } else {
      job.output = output;
    }
    if (outputIsInput(job))
      throw UsageError((job.input == "-" ? std::string("standard input is ") + printable(job.output, 4096)
                                         : printable(job.input, 4096)) +
                       ": the output would replace the input");
    struct stat info {};
    if (job.input != "-" && ::stat(job.input.c_str(), &info) == 0 && S_ISREG(info.st_mode))
      job.size = static_cast<std::uint64_t>(info.st_size);
  }
  if (toDirectory) plan.outputDirectory = output;

  unsigned workers = request.jobs != 0 ? request.jobs : std::max(1u, std::thread::hardware_concurrency());
  workers = std::min<unsigned>({workers, static_cast<unsigned>(plan.jobs.size()), kMaxWorkers});
  plan.workers = workers > 1 ? workersWithinDescriptorLimit(workers) : workers;
  return plan;
}

}  // namespace tamsel::cli

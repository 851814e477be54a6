// SPDX-License-Identifier: MIT
#include "plan.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <thread>

namespace fs = std::filesystem;

namespace tamsel::cli {

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
    if (!job.output.empty() && job.input != "-" && fs::exists(job.output, ec) &&
        fs::equivalent(job.input, job.output, ec))
      throw UsageError(job.input + ": the output would replace the input");
    struct stat info {};
    if (job.input != "-" && ::stat(job.input.c_str(), &info) == 0 && S_ISREG(info.st_mode))
      job.size = static_cast<std::uint64_t>(info.st_size);
  }
  if (toDirectory) plan.outputDirectory = output;

  unsigned workers = request.jobs != 0 ? request.jobs : std::max(1u, std::thread::hardware_concurrency());
  plan.workers = std::min<unsigned>({workers, static_cast<unsigned>(plan.jobs.size()), kMaxWorkers});
  return plan;
}

}  // namespace tamsel::cli

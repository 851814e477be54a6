// SPDX-License-Identifier: MIT
#include "plan.hpp"

#include <algorithm>
#include <filesystem>
#include <set>
#include <thread>

#include "message_text.hpp"
#include "plan_system.hpp"
#include "utf8_path.hpp"

namespace fs = std::filesystem;

namespace tamsel::cli {

namespace {

// A run like `tamsel -o a.csv - < a.csv` would replace what is still being
// read, and is refused as `-o a.csv a.csv` is.
bool outputIsInput(const Job& job) { return !job.output.empty() && outputIsInputFile(job.output, job.input); }

// The most inputs one worker converts in step.
constexpr unsigned kMaxInStep = 32;

}  // namespace

Plan makePlan(const CommandLine& request, bool standardOutputClosed) {
  const std::vector<std::string>& inputs = request.inputs;
  const std::string& output = request.output;
  std::error_code ec;
  const bool toDirectory = !output.empty() && (endsInSeparator(output) || fs::is_directory(pathFromUtf8(output), ec));
  if (!request.state.empty()) {
    if (inputs.size() > 1)
      throw UsageError("--state continues one series: give one input (the rows that came since the last run)");
    if (request.options.order == Order::NewestFirst)
      throw UsageError(
          "--state appends the newest bars after the last run's, so the input must run oldest first; "
          "--order=newest-first cannot be continued");
    // By name too: neither need exist yet.
    const auto sameName = [](const std::string& a, const std::string& b) {
      return pathFromUtf8(a).lexically_normal() == pathFromUtf8(b).lexically_normal();
    };
    if (!output.empty() && !toDirectory &&
        (sameName(request.state, output) || outputIsInputFile(request.state, output)))
      throw UsageError("--state " + printable(request.state, 4096) + " is also the output");
    if ((inputs.front() != "-" && sameName(request.state, inputs.front())) ||
        outputIsInputFile(request.state, inputs.front()))
      throw UsageError("--state " + printable(request.state, 4096) + " is also the input");
  }

  if (inputs.size() > 1 && !toDirectory) throw UsageError("several inputs need -o DIR/ (one output file per input)");
  if (std::count(inputs.begin(), inputs.end(), "-") > 1) throw UsageError("standard input ('-') is given twice");

  Plan plan;
  plan.options = request.options;
  plan.state = request.state;
  plan.standardOutputClosed = standardOutputClosed;
  plan.jobs = std::vector<Job>(inputs.size());
  std::set<std::string> outputs;
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    Job& job = plan.jobs[i];
    job.input = inputs[i];
    if (toDirectory) {
      if (job.input == "-") throw UsageError("standard input has no file name to use in -o DIR/; use -o FILE");
      job.output = utf8FromPath(pathFromUtf8(output) / pathFromUtf8(job.input).filename());
      if (!outputs.insert(utf8FromPath(pathFromUtf8(job.output).lexically_normal())).second)
        throw UsageError("two inputs would both be written to " + job.output);
    } else {
      job.output = output;
    }
    if (outputIsInput(job))
      throw UsageError((job.input == "-" ? std::string("standard input is ") + printable(job.output, 4096)
                                         : printable(job.input, 4096)) +
                       ": the output would replace the input");
    if (job.input != "-") job.size = regularFileSize(job.input);
  }
  if (toDirectory) plan.outputDirectory = output;

  unsigned workers = request.jobs != 0 ? request.jobs : std::max(1u, std::thread::hardware_concurrency());
  const auto jobs = static_cast<unsigned>(plan.jobs.size());
  workers = std::min<unsigned>({workers, jobs, kMaxWorkers});
  // More inputs than workers, each to a file of its own, oldest first and
  // with no state to continue: each worker takes a group of them in step.
  // The library's cost a bar falls by a third in a set of some 32 members,
  // and a group's files are all open at once, within the descriptor limit.
  unsigned inStep = 1;
  if (toDirectory && plan.state.empty() && plan.options.order == Order::OldestFirst && jobs > workers)
    inStep = std::min(kMaxInStep, (jobs + workers - 1) / workers);
  const unsigned conversions = workers * inStep;
  const unsigned allowed = conversions > 1 ? workersWithinDescriptorLimit(conversions) : conversions;
  plan.workers = std::min(workers, allowed);
  plan.inStep = std::max(1u, allowed / plan.workers);
  return plan;
}

}  // namespace tamsel::cli

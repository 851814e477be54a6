// SPDX-License-Identifier: MIT
#include "run.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <filesystem>
#include <thread>

#include "in_step.hpp"
#include "input_file.hpp"
#include "output_file.hpp"
#include "standard_error.hpp"
#include "state_file.hpp"
#include "utf8_path.hpp"

namespace fs = std::filesystem;

namespace tamsel::cli {

namespace {

class StandardOutput final : public Sink {
 public:
  explicit StandardOutput(bool closed) : closed_(closed) {}
  void write(const char* data, std::size_t size) override {
    // It was opened on /dev/null at start; writing there would lose the
    // output and call it success.
    if (closed_) throw Failure(Status::CannotWrite, "standard output is closed; name an output file with -o FILE");
    writeAll(1, data, size, "standard output");
  }

 private:
  bool closed_;
};

// The state is replaced only after the output is complete: a run that fails
// before leaves the series where it was, so the same input can be given again.
void saveStateAfterOutput(const Continuation& continuation) {
  try {
    saveState(continuation);
  } catch (const Failure& e) {
    throw Failure(e.status(), std::string(e.what()) +
                                  "; the output has this input's rows but the state does not: remove them from the "
                                  "output before running again, or the series will miss them");
  }
}

void runJob(Job& job, const Plan& plan) {
  const std::string name = job.input == "-" ? "<stdin>" : job.input;
  // Read first: a state file that cannot be continued from stops the run
  // before anything is written.
  std::optional<Continuation> continuation;
  if (!plan.state.empty()) continuation = loadState(plan.state);
  Continuation* continued = continuation ? &*continuation : nullptr;
  const InputFile input(job.input);
  csv::FdSource source(input.fd());
  if (job.output.empty()) {
    StandardOutput sink(plan.standardOutputClosed);
    convert(source, name, sink, plan.options, &job.progress, nullptr, continued);
  } else {
    const std::unique_ptr<OutputFile> file = OutputFile::open(job.output);
    convert(source, name, *file, plan.options, &job.progress, nullptr, continued);
    file->commit();
  }
  if (continued != nullptr) saveStateAfterOutput(*continued);
}

void runGuarded(Job& job, const Plan& plan) {
  runReporting(job, [&] { runJob(job, plan); });
  job.done.store(true);
}

// The groups of plan.inStep inputs that workers convert in step: the inputs
// dealt out largest first, so that the groups' sizes come out even.
std::vector<std::vector<Job*>> groupsInStep(Plan& plan) {
  std::vector<Job*> bySize;
  for (Job& job : plan.jobs) bySize.push_back(&job);
  std::stable_sort(bySize.begin(), bySize.end(), [](const Job* a, const Job* b) { return a->size > b->size; });
  const std::size_t count = (bySize.size() + plan.inStep - 1) / plan.inStep;
  std::vector<std::vector<Job*>> groups(count);
  for (std::size_t i = 0; i < bySize.size(); ++i) groups[i % count].push_back(bySize[i]);
  return groups;
}

void runGroup(const std::vector<Job*>& group, const Plan& plan) {
  if (group.size() == 1) {
    runGuarded(*group.front(), plan);
    return;
  }
  try {
    convertInStep(group, plan);
  } catch (...) {
    // Each input's own failures stay its own; what reaches here is the
    // group failing as a whole (out of memory, a refusal naming no member
    // given a bar), and every input still converting fails with it, its
    // output left as it was.
    for (Job* job : group)
      if (!job->done.load()) {
        runReporting(*job, [] { throw; });
        job->done.store(true);
      }
  }
}

}  // namespace

int run(Plan& plan) {
  if (!plan.outputDirectory.empty()) {
    std::error_code ec;
    const fs::path directory = pathFromUtf8(plan.outputDirectory);
    if (!fs::is_directory(directory, ec)) fs::create_directories(directory, ec);
    if (ec) {
      report(fmt::format("{}: cannot create the directory: {}", plan.outputDirectory, ec.message()));
      return static_cast<int>(Status::CannotWrite);
    }
  }
  {
    const ProgressLine progress(plan.jobs);
    std::vector<std::vector<Job*>> groups;
    if (plan.inStep > 1)
      groups = groupsInStep(plan);
    else
      for (Job& job : plan.jobs) groups.push_back({&job});
    if (plan.workers <= 1) {
      for (const std::vector<Job*>& group : groups) runGroup(group, plan);
    } else {
      std::atomic<std::size_t> next{0};
      std::vector<std::thread> threads;
      threads.reserve(plan.workers);
      for (unsigned w = 0; w < plan.workers; ++w)
        threads.emplace_back([&] {
          for (std::size_t i = next.fetch_add(1); i < groups.size(); i = next.fetch_add(1)) runGroup(groups[i], plan);
        });
      for (std::thread& t : threads) t.join();
    }
  }
  for (const Job& job : plan.jobs)
    if (job.status != Status::Ok) return static_cast<int>(job.status);
  return 0;
}

}  // namespace tamsel::cli

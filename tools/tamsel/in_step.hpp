// SPDX-License-Identifier: MIT
// Several inputs converted together, one bar of each per interval through a
// stream set, so that the library computes their bars side by side.
#ifndef TAMSEL_TOOLS_IN_STEP_HPP
#define TAMSEL_TOOLS_IN_STEP_HPP

#include <exception>
#include <new>
#include <vector>

#include "plan.hpp"
#include "standard_error.hpp"

namespace tamsel::cli {

// Runs step for job: a failure becomes the job's status and its message is
// reported.  Returns whether step succeeded.
template <typename Step>
bool runReporting(Job& job, Step&& step) {
  try {
    step();
    return true;
  } catch (const Failure& e) {
    job.status = e.status();
    report(e.what());
  } catch (const std::bad_alloc&) {
    job.status = Status::Internal;
    report(job.input + ": out of memory");
  } catch (const std::exception& e) {
    job.status = Status::Internal;
    report(job.input + ": " + e.what());
  }
  return false;
}

// Converts the jobs (oldest first, each to a file of its own, no state) in
// step: each output exactly what converting its input alone writes, each
// failure its own job's, the others going on; marks each job done as it
// ends.  Throws only for a failure of the group as a whole (no memory for
// its stream set, a refusal naming no member given a bar), leaving the jobs
// not done to the caller to fail.
void convertInStep(const std::vector<Job*>& jobs, const Plan& plan);

}  // namespace tamsel::cli

#endif

// SPDX-License-Identifier: MIT
// Several inputs converted together, one bar of each per interval through a
// stream set, so that the library computes their bars side by side.
#ifndef TAMSEL_TOOLS_IN_STEP_HPP
#define TAMSEL_TOOLS_IN_STEP_HPP

#include <functional>
#include <vector>

#include "plan.hpp"

namespace tamsel::cli {

// Runs step for job: a failure becomes the job's status and its message is
// reported.  Returns whether step succeeded.
bool runReporting(Job& job, const std::function<void()>& step);

// Converts the jobs (oldest first, each to a file of its own, no state) in
// step: each output exactly what converting its input alone writes, each
// failure its own job's, the others going on.  Marks every job done.
void convertInStep(const std::vector<Job*>& jobs, const Plan& plan);

}  // namespace tamsel::cli

#endif

// SPDX-License-Identifier: MIT
// Carries out a plan: each job's input converted into its output, several
// at once on a pool of workers.
#ifndef TAMSEL_TOOLS_RUN_HPP
#define TAMSEL_TOOLS_RUN_HPP

#include "plan.hpp"

namespace tamsel::cli {

// Returns the exit status: that of the first job, in command-line order,
// that failed, or 0.
int run(Plan& plan);

}  // namespace tamsel::cli

#endif

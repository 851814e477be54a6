// SPDX-License-Identifier: MIT
// The shared table of missing-price cases (tests/data/missing_policy_cases.txt),
// the one every front end's tests read.
#pragma once

#include <string>
#include <vector>

namespace tamsel::testing {

struct PolicyCase {
  std::string line;  // as written, for a failure message
  int policy;        // TAMSELCHART_MISSING_
  std::vector<double> high, low;
  int kind;    // TAMSELCHART_PRICE_; OK when the prices are taken
  int column;  // of the refused price
  int bar;
  std::vector<float> takenHigh, takenLow;
};

std::vector<PolicyCase> ReadPolicyCases(const std::string& path);

}  // namespace tamsel::testing

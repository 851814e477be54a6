// SPDX-License-Identifier: MIT
// A console reporter that also keeps one figure of a counter per benchmark,
// for the summary a benchmark program prints after Google Benchmark's table.
#pragma once

#include <benchmark/benchmark.h>

#include <string>
#include <utility>
#include <vector>

namespace tamsel::bench {

class CounterFiguresReporter : public benchmark::ConsoleReporter {
 public:
  // counter: the name the benchmarks set, a rate inverted into seconds per
  // unit; the figures are kept in nanoseconds.
  explicit CounterFiguresReporter(std::string counter) : counter_(std::move(counter)) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      // One figure per benchmark: the median of repetitions, or the run.
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      const auto it = run.counters.find(counter_);
      if (it != run.counters.end() && (median || run.run_type == Run::RT_Iteration))
        figures_.emplace_back(run.run_name.str(), it->second.value * 1e9);
    }
  }

 protected:
  // Each benchmark's name and nanoseconds, in the order they ran.
  const std::vector<std::pair<std::string, double>>& Figures() const { return figures_; }

 private:
  std::string counter_;
  std::vector<std::pair<std::string, double>> figures_;
};

}  // namespace tamsel::bench

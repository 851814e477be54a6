// SPDX-License-Identifier: MIT
// The golden file: series with the four indicators' outputs, frozen bit for
// bit.  Little-endian binary:
//   "TSGOLD01", uint32 series count, then per series:
//   uint32 name length, name bytes, uint32 bar count,
//   per bar six float32: high, low, cycle period, signal-to-noise ratio,
//   swing position, trend vigor.
#pragma once

#include <string>
#include <vector>

namespace tamsel::testing {

struct GoldenSeries {
  std::string name;
  std::vector<float> high, low;
  std::vector<float> cyclePeriod, signalToNoiseRatio, swingPosition, trendVigor;
};

std::vector<GoldenSeries> ReadGoldenFile(const std::string& path);
void WriteGoldenFile(const std::string& path, const std::vector<GoldenSeries>& series);

// Equal as the outputs are compared everywhere: bit for bit, any NaN equal
// to any NaN.
bool SameFloat(float a, float b);

}  // namespace tamsel::testing

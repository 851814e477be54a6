// SPDX-License-Identifier: MIT
// Reads "high low" pairs, one bar a line, with strtof, and prints the bit
// patterns of TamselChart_AllIndicators for each bar: the values the tool must
// reproduce exactly.
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "TamselCharts.h"

int main() {
  std::vector<float> high, low;
  char line[256];
  while (std::fgets(line, sizeof line, stdin) != nullptr) {
    char* end = nullptr;
    high.push_back(std::strtof(line, &end));
    low.push_back(std::strtof(end, nullptr));
  }
  const int n = static_cast<int>(high.size());
  std::vector<float> values[4];
  for (auto& v : values) v.resize(high.size());
  if (TamselChart_AllIndicators(high.data(), low.data(), n, values[0].data(), values[1].data(), values[2].data(),
                                values[3].data()) != n)
    return 1;
  for (std::size_t i = 0; i < high.size(); ++i) {
    for (int k = 0; k < 4; ++k) {
      std::uint32_t bits = 0;
      std::memcpy(&bits, &values[k][i], sizeof bits);
      std::printf(k == 0 ? "%08" PRIx32 : " %08" PRIx32, bits);
    }
    std::printf("\n");
  }
  return 0;
}

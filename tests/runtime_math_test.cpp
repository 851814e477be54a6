// The square-root shortcut for pow(x, 0.5) must round exactly as the C
// library's pow does, including where the two differ from each other.
#include "spectrum/runtime_math.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "support/generated_series.hpp"

namespace tamsel {
namespace {

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(PowHalf, RoundsAsPowOverTheWholeExponentRange) {
  testing::Random random(77);
  long differsFromSqrt = 0;
  for (int i = 0; i < 2000000; ++i) {
    std::uint64_t bits =
        (random.NextBits() & 0x000FFFFFFFFFFFFFULL) | (static_cast<std::uint64_t>(1 + random.NextBits() % 2046) << 52);
    double x;
    std::memcpy(&x, &bits, sizeof x);
    if (i % 2 == 0) x = static_cast<float>(x);  // prices squared start from floats
    const double want = std::pow(x, 0.5);
    ASSERT_TRUE(SameBits(math::PowHalf(x), want)) << std::hexfloat << x;
    differsFromSqrt += !SameBits(std::sqrt(x), want);
  }
  // The shortcut is only worth testing if pow and sqrt really do differ.
  EXPECT_GT(differsFromSqrt, 0);
}

TEST(PowHalf, SpecialValuesAreLeftToPow) {
  const double inf = std::numeric_limits<double>::infinity();
  for (double x :
       {0.0, -0.0, -1.0, inf, -inf, std::numeric_limits<double>::denorm_min(), 0x1p-1020, 0x1p+1020, 4.0, 0.25, 1.0})
    EXPECT_TRUE(SameBits(math::PowHalf(x), std::pow(x, 0.5)) || (std::isnan(x) && std::isnan(math::PowHalf(x)))) << x;
  EXPECT_TRUE(std::isnan(math::PowHalf(std::numeric_limits<double>::quiet_NaN())));
}

}  // namespace
}  // namespace tamsel

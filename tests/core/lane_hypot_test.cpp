// The lane hypot is the C library's hypot bit for bit: a table of awkward operands and a
// million generated pairs (bench/hypot_check compares 10^9).

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "core/lane_hypot.hpp"
#include "support/hypot_pairs.hpp"
#include "support/numbers.hpp"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

/// Compares every lane of hypot(x, y) with std::hypot; returns the mismatches.
int mismatches(const std::vector<double>& x, const std::vector<double>& y) {
  int bad = 0;
  for (std::size_t k = 0; k + sw::kLanes <= x.size(); k += sw::kLanes) {
    sw::Lane a, b;
    for (int l = 0; l < sw::kLanes; ++l) {
      a[l] = x[k + l];
      b[l] = y[k + l];
    }
    const sw::Lane h = sw::hypot(a, b);
    for (int l = 0; l < sw::kLanes; ++l)
      if (!sw::test::sameValue(h[l], std::hypot(a[l], b[l]))) {
        ADD_FAILURE() << "hypot(" << a[l] << ", " << b[l] << ")";
        ++bad;
      }
  }
  return bad;
}

TEST(LaneHypot, AwkwardOperandsGiveTheLibraryResult) {
  const double v[] = {0.0,
                      -0.0,
                      1.0,
                      -3.0,
                      0x1p511,
                      0x1.0000000000001p511,
                      0x1p-459,
                      0x1.fffffffffffffp-460,
                      0x1p-1074,
                      0x1p-1022,
                      1.7976931348623157e308,
                      kInf,
                      -kInf,
                      kNaN,
                      0x1p-54,
                      1.0 + 0x1p-52,
                      3e-300,
                      4e300};
  std::vector<double> x, y;
  for (const double a : v)
    for (const double b : v) {
      x.push_back(a);
      y.push_back(b);
    }
  while (x.size() % sw::kLanes != 0) {
    x.push_back(1.0);
    y.push_back(1.0);
  }
  EXPECT_EQ(mismatches(x, y), 0);
}

TEST(LaneHypot, AMillionGeneratedPairsGiveTheLibraryResult) {
  sw::test::HypotPairs pairs(20240601);
  std::vector<double> x(1 << 20), y(1 << 20);
  for (std::size_t k = 0; k < x.size(); ++k) pairs.next(x[k], y[k]);
  EXPECT_EQ(mismatches(x, y), 0);
}

}  // namespace

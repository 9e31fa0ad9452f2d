#pragma once
/// Bit-for-bit comparison of numbers and deterministic random numbers for the tests.

#include <bit>
#include <cstdint>
#include <cstring>
#include <random>

#include "core/complex.hpp"
#include "core/grid.hpp"

namespace sw::test {

/// Relative tolerance of the property tests (reconstruction, solve, square root).
inline constexpr double kRelTol = 1e-12;

/// Same bits (distinguishes -0 from +0, matches equal NaNs).
inline bool sameBits(double a, double b) {
  return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}
inline bool sameBits(Cx a, Cx b) { return sameBits(a.re, b.re) && sameBits(a.im, b.im); }
/// Same bits, or NaN in both (which NaN the hardware propagates is not part of a result).
inline bool sameValue(double a, double b) { return sameBits(a, b) || (a != a && b != b); }
inline bool sameValue(Cx a, Cx b) { return sameValue(a.re, b.re) && sameValue(a.im, b.im); }
/// Same size and the same bits in every entry, ghost frame included.
inline bool sameBits(const Grid<Cx>& a, const Grid<Cx>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(Cx)) == 0;
}

/// Deterministic random numbers.
class Random {
 public:
  explicit Random(std::uint64_t seed) : g_(seed) {}
  double uniform(double lo, double hi) {
    return std::uniform_real_distribution<double>(lo, hi)(g_);
  }
  /// Both parts uniform in [lo, hi), real part drawn first.
  Cx cx(double lo = -1.0, double hi = 1.0) {
    const double re = uniform(lo, hi);
    return Cx{re, uniform(lo, hi)};
  }
  int integer(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(g_); }

 private:
  std::mt19937_64 g_;
};

}  // namespace sw::test

#pragma once
/// Operand pairs for comparing the lane hypot with the C library's: raw bit patterns
/// (every exponent, subnormals, infinities, NaN), operands around the library's scaling
/// thresholds (2^511, 2^-459) and its size ratio 2^-54, ties |x| = |y|, zeros, and the
/// magnitudes of a run's displacements.

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>

namespace sw::test {

class HypotPairs {
 public:
  explicit HypotPairs(std::uint64_t seed) : g_(seed) {}

  /// The next pair, the kind chosen in turn.
  void next(double& x, double& y) {
    switch (kind_++ % 6) {
      case 0:  // any bit pattern
        x = std::bit_cast<double>(g_());
        y = std::bit_cast<double>(g_());
        break;
      case 1:  // near the thresholds of the scaling
        x = around(pick(kThresholds));
        y = around(pick(kThresholds));
        break;
      case 2:  // one operand about 2^-54 (and a little more or less) times the other
        x = around(std::ldexp(1.0, exponent(-1070, 1020)));
        y = x * std::ldexp(1.0 + unit(g_), -53 - static_cast<int>(g_() % 3)) * sign();
        break;
      case 3:  // ties, zeros and subnormals
        x = around(std::ldexp(1.0, exponent(-1074, 1023)));
        y = (g_() % 3 == 0) ? x * sign() : (g_() % 2 ? 0.0 * sign() : std::ldexp(unit(g_), -1022));
        break;
      case 4:  // the wide range of a run's values
        x = normal(g_) * std::ldexp(1.0, exponent(-300, 300));
        y = normal(g_) * std::ldexp(1.0, exponent(-300, 300));
        break;
      default:  // values of similar size, where the two corrections switch
        x = normal(g_);
        y = x * (0.3 + unit(g_)) * sign();
        break;
    }
    if (g_() % 2) std::swap(x, y);
  }

 private:
  static constexpr double kThresholds[] = {0x1p511,  0x1p-459, 0x1p-511, 0x1p-1022,
                                           0x1p1023, 0x1p-537, 0x1p460,  1.0};
  template <std::size_t N>
  double pick(const double (&v)[N]) {
    return v[g_() % N];
  }
  int exponent(int lo, int hi) {
    return lo + static_cast<int>(g_() % static_cast<std::uint64_t>(hi - lo + 1));
  }
  double sign() { return g_() % 2 ? -1.0 : 1.0; }
  /// v times a factor in [0.5, 2), or v moved by a few units in the last place.
  double around(double v) {
    if (g_() % 2) return v * (0.5 + 1.5 * unit(g_)) * sign();
    const std::int64_t steps = static_cast<std::int64_t>(g_() % 9) - 4;
    return std::bit_cast<double>(std::bit_cast<std::int64_t>(v) + steps) * sign();
  }

  std::mt19937_64 g_;
  std::uniform_real_distribution<double> unit{0.0, 1.0};
  std::normal_distribution<double> normal{0.0, 1.0};
  unsigned kind_ = 0;
};

}  // namespace sw::test

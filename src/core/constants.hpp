#pragma once
/// Mathematical constants, each written once.

namespace sw {

inline constexpr double kPi = 3.141592653589793;
/// 2 pi, exactly twice kPi (the doubling is exact in binary).
inline constexpr double kTwoPi = 2.0 * kPi;

}  // namespace sw

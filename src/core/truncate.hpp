#pragma once
/// Real-to-integer conversion of the input and output steps.

#include <climits>
#include <cmath>

namespace sw {

/// Truncation toward zero.  A value that does not fit in 32 bits saturates (NaN and
/// +huge to INT_MAX, -huge to INT_MIN), so that it counts as beyond the limit it is
/// checked against instead of being undefined.
inline int truncateToInt(double x) {
  if (std::isnan(x)) return INT_MAX;
  if (x >= 2147483648.0) return INT_MAX;
  if (x <= -2147483649.0) return INT_MIN;
  return static_cast<int>(x);
}

}  // namespace sw

#pragma once
/// Text of the values quoted in input-error messages.

#include <cstdio>
#include <string>

namespace sw {

/// A real as it appears in a message: up to 8 significant digits.
inline std::string realText(double x) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.8g", x);
  return buf;
}

}  // namespace sw

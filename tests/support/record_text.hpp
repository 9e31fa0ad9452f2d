#pragma once
/// Lines of the run's text records as the input routines read them, for the decks and
/// tables that tests and fuzz targets write.

#include <cstdio>
#include <string>

namespace sw::test {

/// An integer in columns 1 to 5.
inline std::string i5Line(int v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%5d\n", v);
  return buf;
}

/// A real in columns 1 to 20, always with a decimal point (a field without one would be
/// scaled by 10^-8).
inline std::string e20Line(double v) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%20.11E\n", v);
  return buf;
}

}  // namespace sw::test

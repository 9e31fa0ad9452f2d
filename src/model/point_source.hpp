#pragma once
/// The point source at one frequency.

#include "core/complex.hpp"

namespace sw {

/// Source pattern selector, source element and the value of the source spectrum at the
/// frequency being solved.
struct PointSource {
  int kdel = 0;  ///< 1, 2, 3 apply a pattern, 4 and 5 a point force; any other value none
  int jsou = 0, ksou = 0;
  Cx value;
};

}  // namespace sw

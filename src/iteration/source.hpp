#pragma once
/// The point source applied by the strip sweep.

#include "driver/cx.hpp"
#include "driver/grid.hpp"

namespace sw {

/// Source pattern selector, source element and spectrum per frequency index.
struct Source {
  int kdel = 0;  ///< 1, 2, 3 apply a pattern; any other value applies none
  int jsou = 0, ksou = 0;
  const Vec1<Cx>* sour = nullptr;  ///< 1 .. jw2
};

}  // namespace sw

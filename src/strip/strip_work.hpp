#pragma once
/// Work storage of one strip assembly and solve.

#include <cstddef>
#include <vector>

#include "core/complex.hpp"
#include "strip/band_matrix.hpp"
#include "strip/numbering.hpp"

namespace sw {

/// Work storage of one strip assembly and solve.  One per strip solved at a time, so
/// that strips of one parity can be handled concurrently with identical results.
struct StripWork {
  BandMatrix a;
  std::vector<Cx> rhs, answer, y;  ///< entries 1 .. N (index 0 unused)

  StripWork() = default;
  explicit StripWork(int nx)
      : a(nx),
        rhs(static_cast<std::size_t>(stripUnknowns(nx)) + 1),
        answer(static_cast<std::size_t>(stripUnknowns(nx)) + 1),
        y(static_cast<std::size_t>(stripUnknowns(nx)) + 1) {}
};

}  // namespace sw

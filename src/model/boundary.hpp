#pragma once
/// Which elements lie on the outer boundary.

#include "core/grid.hpp"

namespace sw {

/// Boundary indicators: 1 at the first/last element along x (xl, xr) and y (yb, yt),
/// 0 elsewhere.
struct BoundaryIndicators {
  Vec1<double> xl, xr, yb, yt;

  BoundaryIndicators() = default;
  BoundaryIndicators(int nx, int ny) : xl(nx), xr(nx), yb(ny), yt(ny) {}
};

/// The indicators of an nx by ny grid.
BoundaryIndicators boundaryIndicators(int nx, int ny);

}  // namespace sw

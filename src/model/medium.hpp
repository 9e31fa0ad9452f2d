#pragma once
/// Density and stiffness of every element at one frequency.

#include "core/complex.hpp"
#include "core/grid.hpp"

namespace sw {

/// Density and stiffness (Voigt notation, 1 = x, 3 = y, 5 = xy) of every element for
/// one frequency, ghost frame included.
struct Medium {
  Grid<double> rho;
  Grid<Cx> p11, p13, p15, p33, p35, p55;
  /// How the square roots of the elements' normal stiffness blocks are formed: by the
  /// established iteration (false; the tables' runs, whose files hold its bits) or in
  /// closed form (a property grid, whose elements mostly all differ).
  bool closedFormRoots = false;
  /// The complex coordinate stretches of a perfectly matched layer around the grid: sx(i)
  /// of column i, sy(j) of row j, 1 outside the layer.  Empty (the established medium)
  /// without a layer.
  Vec1<Cx> sx, sy;

  Medium() = default;
  Medium(int nx, int ny)
      : rho(nx, ny), p11(nx, ny), p13(nx, ny), p15(nx, ny), p33(nx, ny), p35(nx, ny), p55(nx, ny) {}
  int nx() const { return rho.nx(); }
  int ny() const { return rho.ny(); }
  /// True when the medium has the stretches of a layer.
  bool stretched() const { return sx.size() > 0; }
};

}  // namespace sw

#pragma once
/// The whole-grid system written out densely for tiny grids, independently of the solver
/// layer: its own numbering of the edge unknowns, every element matrix added into a full
/// matrix, the source taken from the source strip's right-hand side, and a dense LU.

#include <complex>
#include <vector>

#include "model/point_source.hpp"
#include "solvers/whole_grid.hpp"
#include "strip/strip_system.hpp"

namespace sw::test {

using cd = std::complex<double>;

/// Global numbering of the edge unknowns: vertical edges (i, j), i = 0 .. nx, between
/// elements i and i+1 of row j; then horizontal edges (i, j), j = 0 .. ny, between rows
/// j and j+1 of column i.  Two components each.
struct EdgeNumbering {
  int nx, ny;
  int vertical(int i, int j) const { return 2 * (i + (nx + 1) * (j - 1)); }
  int horizontal(int i, int j) const { return 2 * ((nx + 1) * ny + (i - 1) + nx * j); }
  int size() const { return 2 * ((nx + 1) * ny + nx * (ny + 1)); }
  /// Unknown of local unknown m (1 .. 8) of element (i, j).
  int local(int i, int j, int m) const {
    const int c = (m - 1) % 2;
    switch ((m - 1) / 2) {
      case 0:
        return vertical(i - 1, j) + c;
      case 1:
        return horizontal(i, j) + c;
      case 2:
        return horizontal(i, j - 1) + c;
      default:
        return vertical(i, j) + c;
    }
  }
};

/// The dense whole-grid system: A row by row (n by n) and b.
struct DenseSystem {
  int n = 0;
  std::vector<cd> a, b;
};

/// The system of the frequency set in `sys` (its medium, roots and interface parameters:
/// setFrequency with every edge) and the point source `src`.
DenseSystem denseWholeGrid(const StripSystem& sys, const PointSource& src);

/// The coordinate entries of `a` added up into a full matrix, both triangles.
std::vector<cd> denseOf(const WholeGridMatrix& a);

/// Dense complex LU with partial pivoting; solves A x = b in place of b.
void denseSolve(std::vector<cd>& a, std::vector<cd>& b, int n);

}  // namespace sw::test

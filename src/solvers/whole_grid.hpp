#pragma once
/// The whole-grid system of one frequency: every element assembled with one shared pair of
/// unknowns on every edge, absorbing terms on the outer edges and the point source.  The
/// strip iteration converges to its solution; a sparse direct solver solves it at once.

#include <cstdint>
#include <vector>

#include "core/complex.hpp"
#include "coupling/edge_fields.hpp"
#include "materials/material_model.hpp"
#include "model/point_source.hpp"
#include "strip/strip_system.hpp"

namespace sw {

/// Numbering of the unknowns of the whole grid, from 0: the vertical edges (i, j),
/// i = 0 .. nx, between elements i and i + 1 of row j, row by row; then the horizontal
/// edges (i, j), j = 0 .. ny, between rows j and j + 1 of column i.  Two components per
/// edge, x first.
struct WholeGridNumbering {
  int nx = 0, ny = 0;

  /// First unknown of the vertical edge (i, j).
  std::int64_t vertical(int i, int j) const {
    return 2 * (i + (static_cast<std::int64_t>(nx) + 1) * (j - 1));
  }
  /// First unknown of the horizontal edge (i, j).
  std::int64_t horizontal(int i, int j) const {
    return 2 * ((static_cast<std::int64_t>(nx) + 1) * ny + (i - 1) +
                static_cast<std::int64_t>(nx) * j);
  }
  /// Number of unknowns.
  std::int64_t size() const {
    return 2 * ((static_cast<std::int64_t>(nx) + 1) * ny + static_cast<std::int64_t>(nx) * (ny + 1));
  }
  /// Unknown of local unknown m (1 .. 8, the order of strip/numbering.hpp) of element (i, j).
  std::int64_t local(int i, int j, int m) const {
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

/// Sets what the whole-grid matrix of frequency index jw is assembled from: omega, the
/// medium the material model gives and the boundary roots of `sys` (its interface
/// parameters are neither needed nor stored); on up to `threads` threads.
void setWholeGridFrequency(StripSystem& sys, int jw, double omega, const MaterialModel& model,
                           int threads = 1);

/// Entries of the lower triangle of one element matrix (the matrix is complex symmetric).
inline constexpr int kElementTriangle = 36;

/// True when a grid of nx by ny elements has few enough unknowns for 32-bit indices.
bool wholeGridFits(int nx, int ny);

/// The lower triangle (row >= column) of the complex symmetric whole-grid matrix in
/// coordinate format with indices from 1: the 36 entries of every element's lower
/// triangle in turn, elements row by row.  An index pair occurs once per element that
/// holds it; the entries of one pair add up.  The pattern depends only on the grid and
/// is formed once; `assemble` sets the values of a frequency.
class WholeGridMatrix {
 public:
  WholeGridMatrix() = default;
  /// The pattern of an nx by ny grid (wholeGridFits(nx, ny) must hold).
  WholeGridMatrix(int nx, int ny);

  const WholeGridNumbering& numbering() const { return num_; }
  /// Order of the matrix.
  int order() const { return static_cast<int>(num_.size()); }
  /// Number of entries (pairs repeated).
  std::int64_t entries() const { return static_cast<std::int64_t>(values_.size()); }
  const std::vector<int>& rows() const { return rows_; }
  const std::vector<int>& columns() const { return cols_; }
  const std::vector<Cx>& values() const { return values_; }
  std::vector<Cx>& values() { return values_; }

  /// The values for the frequency of `sys`: element stiffness and mass from its medium at
  /// its omega, and the absorbing terms of the outer edges (its boundary indicators and
  /// roots); the elements on up to `threads` threads (the values do not depend on it).
  void assemble(const StripSystem& sys, int threads = 1);

  /// y = A x for the whole symmetric matrix (x and y of order() entries).
  void multiply(const Cx* x, Cx* y) const;

 private:
  WholeGridNumbering num_;
  std::vector<int> rows_, cols_;
  std::vector<Cx> values_;
};

/// The right-hand side of the point source (order of the numbering): the source pattern of
/// its element at that element's unknowns, zero elsewhere; zero everywhere when the source
/// element lies outside the grid.
void wholeGridRightHandSide(const WholeGridNumbering& num, double h, const PointSource& src,
                            Cx* b);

/// Writes the whole-grid solution x into the displacements of every element of `f`, each
/// edge's pair shared by the elements on both sides; the multipliers are zero.
void wholeGridToEdgeFields(const WholeGridNumbering& num, const Cx* x, EdgeFields& f);

/// ||A x - b|| / ||b|| in Euclidean norms (||A x - b|| itself when b is zero), with `work`
/// of a.order() entries.
double relativeResidual(const WholeGridMatrix& a, const Cx* x, const Cx* b, Cx* work);

}  // namespace sw

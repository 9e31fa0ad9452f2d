#pragma once
/// Interface parameters of the interior edges and square roots of the boundary
/// elements' normal stiffness, for one angular frequency.

#include "core/edges.hpp"
#include "core/grid.hpp"
#include "model/medium.hpp"

namespace sw {

/// Interface parameter of every edge: the symmetric 2x2 matrix (b11 b12; b12 b22).
/// Entries of outer-boundary edges stay zero.
struct InterfaceParameters {
  EdgeQuantity b11, b12, b22;

  InterfaceParameters() = default;
  InterfaceParameters(int nx, int ny) : b11(nx, ny), b12(nx, ny), b22(nx, ny) {}
};

/// Entries of a real symmetric 2x2 matrix per position along one side of the boundary.
struct RootVectors {
  Vec1<double> r11, r12, r22;

  RootVectors() = default;
  explicit RootVectors(int n) : r11(n), r12(n), r22(n) {}
};

/// Square roots of the normal stiffness of the boundary elements, for the absorbing
/// terms: left and right sides indexed by j, bottom and top by i.
struct BoundaryRoots {
  RootVectors xl, xr, yb, yt;
  /// The top edge is traction-free: its roots stay zero, so that it has no absorbing term
  /// (the natural condition of the weak form).
  bool tractionFreeTop = false;

  BoundaryRoots() = default;
  BoundaryRoots(int nx, int ny) : xl(ny), xr(ny), yb(nx), yt(nx) {}
};

/// Square root of a real symmetric 2x2 matrix (r11 r12; r12 r22).
struct Root2 {
  double r11 = 0.0, r12 = 0.0, r22 = 0.0;
};

/// Memo of matrix square roots of 2x2 matrices, keyed on the exact bits of (a11, a12,
/// a22).  A grid of a few materials has a few distinct normal stiffness matrices, so
/// almost every lookup is a hit; a hit returns exactly what a fresh matrixSqrt would.
class RootCache {
 public:
  /// With `closedForm` every root is formed by symmetricRoot2, without the memo.
  explicit RootCache(bool closedForm = false) : closedForm_(closedForm) {}
  /// Square root of the matrix (a11 a12; a12 a22).
  Root2 root(double a11, double a12, double a22);

 private:
  static constexpr int kSlots = 256;
  static constexpr int kProbes = 8;
  struct Slot {
    bool used = false;
    unsigned long long k11 = 0, k12 = 0, k22 = 0;
    Root2 r;
  };
  bool closedForm_;
  Slot slots_[kSlots];
};

/// Interface parameters of one edge: the three entries of the symmetric matrix.
struct EdgeParameters {
  Cx b11, b12, b22;
};

/// The rows of the grid are shared out between threads in whole blocks of this many
/// rows, a multiple of twice the widest lane count: the strips whose values share a
/// vector in the lane layout are formed on one thread.
inline constexpr int kRowBlock = 16;

/// Receives the parameters of the interior edges as they are formed.  With several
/// threads, the edges of rows of different blocks of kRowBlock rows are handed over at
/// the same time.
class EdgeParameterSink {
 public:
  virtual ~EdgeParameterSink() = default;
  /// The edge between elements (i-1, j) and (i, j): r side of the one, l side of the other.
  virtual void vertical(int i, int j, const EdgeParameters& b) = 0;
  /// The edge between elements (i, j-1) and (i, j): t side of the one, b side of the other.
  virtual void horizontal(int i, int j, const EdgeParameters& b) = 0;
};

/// Forms the interface parameters of every interior edge of the grid of `med` for the
/// angular frequency omega, hands them to `sink`, and fills the boundary roots; the rows
/// on up to `threads` threads (the values do not depend on it).  The roots are formed as
/// `med.closedFormRoots` says.
void interfaceParameters(double omega, const Medium& med, EdgeParameterSink& sink,
                         BoundaryRoots& roots, int threads = 1);

/// The same, storing both sides of every interior edge in `beta`.
void interfaceParameters(double omega, const Medium& med, InterfaceParameters& beta,
                         BoundaryRoots& roots, int threads = 1);

}  // namespace sw

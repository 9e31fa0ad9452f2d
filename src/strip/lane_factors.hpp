#pragma once
/// Banded LU factors of several strips at once, one strip per lane, and the forward and
/// back substitution with them.  Each lane performs exactly the scalar operations of
/// factorStrip and solveStrip for its own strip, in the same order, so its factors and
/// solutions are those of the scalar routines bit for bit.

#include <cstddef>
#include <vector>

#include "core/lanes.hpp"
#include "strip/band_matrix.hpp"
#include "strip/strip_factors.hpp"

namespace sw {

/// Factors of groups of kLanes strips of nx elements.  Group block G holds, per group of
/// six unknowns g = 0 .. nx, the 60 packed entries of the `packed` layout, each entry
/// one LaneCx; a solve streams one contiguous block.
class LaneFactors {
 public:
  LaneFactors() = default;
  LaneFactors(int nx, int groups)
      : nx_(nx), groups_(groups), v_(static_cast<std::size_t>(groups) * blockEntries(nx)) {}

  int nx() const { return nx_; }
  int groups() const { return groups_; }
  LaneCx* block(int g) { return v_.data() + static_cast<std::size_t>(g) * blockEntries(nx_); }
  const LaneCx* block(int g) const {
    return v_.data() + static_cast<std::size_t>(g) * blockEntries(nx_);
  }
  /// Bytes of one group block.
  std::size_t blockBytes() const { return blockEntries(nx_) * sizeof(LaneCx); }

  /// L(i, k) (i >= k) and U(k, i) (i > k) of lane l of group g, as factorStrip stores
  /// them for that lane's strip; inside the element envelope only.
  Cx lower(int i, int k, int g, int l) const;
  Cx upper(int k, int i, int g, int l) const;

  static std::size_t blockEntries(int nx) {
    return static_cast<std::size_t>(nx + 1) * packed::kGroupEntries;
  }

 private:
  int nx_ = 0, groups_ = 0;
  std::vector<LaneCx, LineAlignedAllocator<LaneCx>> v_;
};

/// Factors the band matrices of kLanes strips of n elements (a[l] for lane l) into the
/// group block `out`.  Reads and computes exactly what factorStrip reads and computes.
void factorLanes(int n, const BandMatrix* const a[kLanes], LaneCx* out);

/// Solves A x = b in every lane with the factors of one group block, in place: x[1 .. N]
/// holds b on entry and the solution on return (N = 6 n + 2).  Row k of the forward
/// substitution reads b(k) before it writes y(k), row k of the back substitution y(k)
/// before x(k), so one array serves all three with the operations of solveStrip.
void solveLanes(int n, const LaneCx* factors, LaneCx* x);

}  // namespace sw

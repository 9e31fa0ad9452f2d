#pragma once
/// The part of the edge fields that one pass carries to the next.
///
/// A pass solves the odd strips, then the even ones, then relaxes everything towards the
/// previous iterate.  The odd strips read the even strips only through the Robin data
/// beta u + lambda on the even side of the horizontal edges they share (their multiplier
/// update takes the jump first, but beta (u - v) - mu is beta u - (beta v + mu)), and
/// the even strips read only what the odd strips have just formed.  So without the
/// relaxation the pass is a map of that Robin data alone; the relaxation adds 0.3 of the
/// previous values, and the Robin data is linear in them, so the relaxed pass is an
/// affine map of the same data: two components on the even side of every interior
/// horizontal edge.  (Every such edge has exactly one even side.)  The multipliers of
/// the vertical edges inside a strip stay +0 while the displacements are finite.

#include <cstddef>

#include "coupling/edge_fields.hpp"
#include "coupling/lane_fields.hpp"
#include "strip/interface_parameters.hpp"

namespace sw {

/// Maps between the edge fields of an nx by ny grid and the flat carried state.  Entry
/// 2 (nx (j - 1) + i - 1) + c - 1 holds component c on the edge above element (i, j),
/// j = 1 .. ny-1, taken from its even side (the b side of strip j+1 or the t side of
/// strip j).
class CarriedState {
 public:
  CarriedState(int nx, int ny) : nx_(nx), ny_(ny) {}

  /// 2 nx (ny - 1) complex entries (none when ny is 1).
  std::size_t size() const {
    return ny_ > 1 ? 2 * static_cast<std::size_t>(nx_) * static_cast<std::size_t>(ny_ - 1) : 0;
  }

  /// x = beta u + lambda on the even side of every interior horizontal edge.
  void extract(const EdgeFields& f, const InterfaceParameters& beta, Cx* x, int threads) const;

  /// Sets lambda = x - beta u on the even side of every interior horizontal edge, the
  /// displacements kept, so that the Robin data there is x (to rounding).
  void insert(const Cx* x, const InterfaceParameters& beta, EdgeFields& f, int threads) const;

  /// The same on the fields of the lane kernels, with the same values bit for bit.
  void extract(const LaneFields& f, const LaneBetas& beta, Cx* x, int threads) const;
  void insert(const Cx* x, const LaneBetas& beta, LaneFields& f, int threads) const;

 private:
  int nx_, ny_;
};

}  // namespace sw

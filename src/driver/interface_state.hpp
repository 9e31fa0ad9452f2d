#pragma once
/// The part of the edge fields that carries information from one pass to the next.
///
/// A pass solves the odd strips from the data of their even neighbours, then the even
/// strips from the new odd data.  The odd solves and multiplier updates read the even
/// strips only through the Robin data beta u + lambda on the horizontal edges they share
/// (beta is the same on both sides of an edge), and the even half of the pass overwrites
/// everything the even strips hold.  So the state of the iteration is that Robin data: two
/// components on every interior horizontal edge, taken from its even side.

#include <cstddef>

#include "driver/storage.hpp"

namespace sw {

/// Maps between the edge fields and the flat carried state of an nx by ny grid.
/// Entry 2 (nx (j - 1) + i - 1) + c - 1 holds component c of the edge between rows j
/// and j + 1 above element i.
class InterfaceState {
 public:
  InterfaceState(int nx, int ny) : nx_(nx), ny_(ny) {}

  /// 2 nx (ny - 1) complex entries (none when ny is 1).
  std::size_t size() const {
    return ny_ > 1 ? 2 * static_cast<std::size_t>(nx_) * static_cast<std::size_t>(ny_ - 1) : 0;
  }

  /// g = beta u + lambda on the even side of every interior horizontal edge.
  void gather(const EdgeFields& f, const Betas& beta, Cx* g, int threads) const;

  /// Puts g on the even side of every interior horizontal edge as the multiplier, with a
  /// zero displacement, so that the next odd half-pass reads exactly g.
  void scatter(const Cx* g, EdgeFields& f, int threads) const;

 private:
  int nx_, ny_;
};

}  // namespace sw

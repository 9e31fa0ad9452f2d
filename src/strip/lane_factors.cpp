#include "strip/lane_factors.hpp"

#include "strip/band_lu.hpp"

namespace sw {

namespace {

/// Position of L(k+m, k) or U(k, k+m) in a group block (the packed layout).
std::size_t slotOf(bool upper, int m, int k) {
  const int g = (k - 1) / 6;
  const int t = k - 6 * g;
  SW_BOUNDS(m <= 8 - t);
  const int slot = upper ? packed::uslot(t, m) : packed::lslot(t, m);
  return static_cast<std::size_t>(g) * packed::kGroupEntries + static_cast<std::size_t>(slot);
}

}  // namespace

Cx LaneFactors::lower(int i, int k, int g, int l) const {
  return lane(block(g)[slotOf(false, i - k, k)], l);
}
Cx LaneFactors::upper(int k, int i, int g, int l) const {
  return lane(block(g)[slotOf(true, i - k, k)], l);
}

void factorLanes(int n, const BandMatrix* const a[kLanes], LaneCx* out) {
  band_lu::factorBand(n, band_lu::LaneBand(a), out);
}

void solveLanes(int n, const LaneCx* factors, LaneCx* x) {
  band_lu::solveBand<band_lu::PrefetchAhead>(n, factors, x, x, x);
}

}  // namespace sw

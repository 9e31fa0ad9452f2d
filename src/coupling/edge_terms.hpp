#pragma once
/// The edge terms of the strip iteration written once for any value type V: Cx for one
/// strip (the plain sweep, the readable reference) and LaneCx for kLanes strips side by
/// side (the fused lane pass), with R the matching real type (double or Lane).  Every
/// operation is the lane-wise one of the scalar arithmetic, in the same order, so each
/// lane computes bit for bit what the Cx instantiation computes for its strip.

#include "core/complex.hpp"
#include "core/lane_hypot.hpp"
#include "core/lanes.hpp"

namespace sw {

/// The two local right-hand-side entries of one edge (x and y components).
template <class V>
struct EdgePair {
  V x, y;
};

/// The Robin term (1 - d) h (beta u + lag) of an edge, keep = 1 - d, with the interface
/// parameters (b11 b12; b12 b22) of the edge and the neighbour's displacements u and
/// multipliers lag across it.  h goes into the beta entries first and the sums run left
/// to right: the reference results were produced in this order.
template <class V, class R>
inline EdgePair<V> robinPair(R keep, R h, const V& b11, const V& b12, const V& b22, const V& u1,
                             const V& u2, const V& l1, const V& l2) {
  const V first = ((h * b11) * u1 + h * l1) + (h * b12) * u2;
  const V second = ((h * b22) * u2 + h * l2) + (h * b12) * u1;
  return {keep * first, keep * second};
}

/// (1 - d) h lag for a vertical edge inside a strip, keep = 1 - d.
template <class V, class R>
inline EdgePair<V> multiplierPair(R keep, R h, const V& l1, const V& l2) {
  return {keep * (h * l1), keep * (h * l2)};
}

/// One multiplier entry: (first beta entry * x jump + second beta entry * y jump) minus
/// the neighbour's multiplier, the jumps formed first.
template <class V>
inline V multiplierUpdate(const V& ba, const V& bb, const V& dx, const V& dy, const V& neighbour) {
  return (ba * dx + bb * dy) - neighbour;
}

/// Relaxation weights: 0.7 of the new iterate, 1 - 0.7 (as a double) of the previous one.
inline constexpr double kRelaxNew = 0.7;
inline constexpr double kRelaxOld = 0.30000000000000004;

/// 0.7 x + 0.30000000000000004 xp, real and imaginary parts apart.
template <class V>
inline V relaxed(const V& x, const V& xp) {
  return V{kRelaxNew * x.re + kRelaxOld * xp.re, kRelaxNew * x.im + kRelaxOld * xp.im};
}

/// The terms of the change measure of one value, xp before the pass and x after it: the
/// squared moduli of xp - x (num) and of xp + x (den), the moduli the C library's hypot.
template <class V, class R>
inline void changeTerms(const V& xp, const V& x, R& num, R& den) {
  const R d = abs(xp - x);
  const R s = abs(xp + x);
  num = d * d;
  den = s * s;
}

}  // namespace sw

#pragma once
/// The banded LU of a strip (no pivoting, unit upper factor) and the forward and back
/// substitution with its packed factors, written once for any value type V: Cx for one
/// strip (factorStrip, solveStrip: the readable reference) and LaneCx for kLanes strips
/// side by side (factorLanes, solveLanes: the fast path).  Every operation on V is the
/// lane-wise operation of the scalar one, in the same order, so each lane computes bit
/// for bit what the Cx instantiation computes for its strip.
///
/// What differs between the two is confined to small access types:
/// - the band matrix read by the factorisation: `OneBand` (the diagonals of one strip) or
///   `LaneBand` (those of kLanes strips, gathered lane by lane);
/// - the factors fetched ahead by the solve: `NoPrefetch` or `PrefetchAhead`.

#include <array>
#include <cstddef>

#include "core/complex.hpp"
#include "core/lanes.hpp"
#include "strip/band_matrix.hpp"
#include "strip/strip_factors.hpp"

namespace sw {
namespace band_lu {

using packed::lslot;
using packed::uslot;

/// The band matrix of one strip, diagonal by diagonal: d[j][i - 1] = a(i, j).
struct OneBand {
  std::array<const Cx*, 16> d{};

  explicit OneBand(const BandMatrix& a) {
    for (int j = 1; j <= 15; ++j) d[static_cast<std::size_t>(j)] = a.diagonal(j);
  }
  /// a(i, j), i given 0-based.
  Cx at(int j, int i0) const { return d[static_cast<std::size_t>(j)][i0]; }
};

/// The band matrices of kLanes strips (a[l] for lane l), diagonal by diagonal:
/// d[j][l] = a[l].diagonal(j).
struct LaneBand {
  std::array<std::array<const Cx*, kLanes>, 16> d{};

  explicit LaneBand(const BandMatrix* const a[kLanes]) {
    for (int j = 1; j <= 15; ++j)
      for (int l = 0; l < kLanes; ++l)
        d[static_cast<std::size_t>(j)][static_cast<std::size_t>(l)] = a[l]->diagonal(j);
  }
  /// a(i, j) of every lane, i given 0-based.
  LaneCx at(int j, int i0) const {
    LaneCx v;
    for (int l = 0; l < kLanes; ++l) {
      const Cx e = d[static_cast<std::size_t>(j)][static_cast<std::size_t>(l)][i0];
      v.re[l] = e.re;
      v.im[l] = e.im;
    }
    return v;
  }
};

/// One step of the factorisation inside a group of six unknowns.  Positions are
/// relative to the group: unknown 6g + p has position p, so p = 1 .. 6 are the group's
/// own unknowns, p = -5 .. 0 those of the previous group and p = 7, 8 the first two of
/// the next.  `cur` and `prev` are the packed records of this and the previous group.
template <class V, class Band>
struct GroupStep {
  const Band& a;
  V* cur;
  const V* prev;

  /// L(p, q), q in this group.
  V& lc(int p, int q) const { return cur[lslot(q, p - q)]; }
  /// U(q, p), q in this group.
  V& uc(int q, int p) const { return cur[uslot(q, p - q)]; }
  /// L(p, q), q in the previous group.
  const V& lp(int p, int q) const { return prev[lslot(q + 6, p - q)]; }
  /// U(q, p), q in the previous group.
  const V& up(int q, int p) const { return prev[uslot(q + 6, p - q)]; }
};

/// Column k of L and row k of U for the unknown k at group position T, down to row
/// k + MEND (8 - T inside the strip, less in the last two rows).  FIRST marks group 0,
/// which has no previous group.
///
/// Every sum starts from the entry of A and subtracts its products one at a time in
/// ascending order of the summation index (previous group first), as the reference
/// results require.  Rows at positions 1 and 2 (the edge shared with the previous
/// element) reach back into the previous group; all others start at position 1.
template <int T, int MEND, bool FIRST, class V, class Band>
inline void factorUnknown(const GroupStep<V, Band>& st, int k) {
  constexpr int kBack = FIRST ? 1 : -5;

  // Column k of L: L(k+m, k) = A(k+m, k) - sum L(k+m, j) U(j, k).
  for (int m = 0; m <= MEND; ++m) {
    const int p = T + m;
    V w = st.a.at(8 - m, k + m - 1);
    if (p <= 2)
      for (int q = kBack; q <= 0; ++q) w -= st.lp(p, q) * st.up(q, T);
    for (int q = 1; q < T; ++q) w -= st.lc(p, q) * st.uc(q, T);
    st.lc(p, T) = w;
  }

  // Row k of U: U(k, k+m) = (A(k, k+m) - sum L(k, j) U(j, k+m)) / L(k, k).
  const V pivot = st.lc(T, T);
  for (int m = 1; m <= MEND; ++m) {
    const int p = T + m;
    V w = st.a.at(8 + m, k - 1);
    if (p <= 2)
      for (int q = kBack; q <= 0; ++q) w -= st.lp(T, q) * st.up(q, p);
    for (int q = 1; q < T; ++q) w -= st.lc(T, q) * st.uc(q, p);
    st.uc(T, p) = w / pivot;
  }
}

/// The six unknowns 6g + 1 .. 6g + 6 of a whole element group.
template <bool FIRST, class V, class Band>
inline void factorGroup(const GroupStep<V, Band>& st, int k0) {
  factorUnknown<1, 7, FIRST>(st, k0 + 1);
  factorUnknown<2, 6, FIRST>(st, k0 + 2);
  factorUnknown<3, 5, FIRST>(st, k0 + 3);
  factorUnknown<4, 4, FIRST>(st, k0 + 4);
  factorUnknown<5, 3, FIRST>(st, k0 + 5);
  factorUnknown<6, 2, FIRST>(st, k0 + 6);
}

/// Factors the band `a` of a strip of n elements into the packed records `out` (groups
/// g = 0 .. n of 60 entries).  Reads only the entries inside the element envelope.
template <class V, class Band>
inline void factorBand(int n, const Band& a, V* out) {
  using Step = GroupStep<V, Band>;
  constexpr int kG = packed::kGroupEntries;
  factorGroup<true>(Step{a, out, nullptr}, 0);
  for (int g = 1; g < n; ++g) {
    V* const cur = out + static_cast<std::size_t>(g) * kG;
    factorGroup<false>(Step{a, cur, cur - kG}, 6 * g);
  }
  // The last two unknowns N - 1, N: the right edge of the last element.
  V* const last = out + static_cast<std::size_t>(n) * kG;
  const Step st{a, last, last - kG};
  factorUnknown<1, 1, false>(st, 6 * n + 1);
  factorUnknown<2, 0, false>(st, 6 * n + 2);
}

/// Forward substitution for row k at group position T:
/// y(k) = (rhs(k) - sum L(k, j) y(j)) / L(k, k), the nearest j first.  Rows at
/// positions 1 and 2 continue into the previous group (`prev`), unless FIRST.
template <int T, bool FIRST, class V>
inline void forwardRow(const V* cur, const V* prev, const V* rhs, V* y, int k) {
  V w = rhs[k];
  for (int q = T - 1; q >= 1; --q) w -= cur[lslot(q, T - q)] * y[k - T + q];
  if (!FIRST && T <= 2)
    for (int q = 0; q >= -5; --q) w -= prev[lslot(q + 6, T - q)] * y[k - T + q];
  y[k] = w / cur[lslot(T, 0)];
}

/// Back substitution for row k at group position T, with MEND entries of U right of
/// the diagonal: answer(k) = y(k) - sum U(k, k+m) answer(k+m), the nearest first.
template <int T, int MEND, class V>
inline void backRow(const V* cur, const V* y, V* answer, int k) {
  V w = y[k];
  for (int m = 1; m <= MEND; ++m) w -= cur[uslot(T, m)] * answer[k + m];
  answer[k] = w;
}

template <bool FIRST, class V>
inline void forwardGroup(const V* cur, const V* prev, const V* rhs, V* y, int k0) {
  forwardRow<1, FIRST>(cur, prev, rhs, y, k0 + 1);
  forwardRow<2, FIRST>(cur, prev, rhs, y, k0 + 2);
  forwardRow<3, FIRST>(cur, prev, rhs, y, k0 + 3);
  forwardRow<4, FIRST>(cur, prev, rhs, y, k0 + 4);
  forwardRow<5, FIRST>(cur, prev, rhs, y, k0 + 5);
  forwardRow<6, FIRST>(cur, prev, rhs, y, k0 + 6);
}

template <class V>
inline void backGroup(const V* cur, const V* y, V* answer, int k0) {
  backRow<6, 2>(cur, y, answer, k0 + 6);
  backRow<5, 3>(cur, y, answer, k0 + 5);
  backRow<4, 4>(cur, y, answer, k0 + 4);
  backRow<3, 5>(cur, y, answer, k0 + 3);
  backRow<2, 6>(cur, y, answer, k0 + 2);
  backRow<1, 7>(cur, y, answer, k0 + 1);
}

/// No factors fetched ahead: one strip's records are few and the hardware prefetch keeps
/// up with its forward substitution.
struct NoPrefetch {
  static constexpr int kGroups = 0;
  template <class V>
  static void group(const V*, int, int) {}
};

/// Asks for the factors of group g of a block (0 .. last) to be brought into the caches,
/// kGroups groups ahead of the one being solved.  The forward substitution of kLanes
/// strips is a chain of dependent operations that consumes the factors more slowly than
/// one thread's hardware prefetch fetches them by itself, but not slowly enough to hide
/// the memory latency; fetching a fixed distance ahead overlaps the two.  The back
/// substitution reads the block again in reverse, most of it from the caches, where
/// fetching ahead only costs instructions.
struct PrefetchAhead {
  static constexpr int kGroups = 8;
  template <class V>
  static void group(const V* factors, int g, int last) {
    if (g > last) return;
    const char* p =
        reinterpret_cast<const char*>(factors + static_cast<std::size_t>(g) * packed::kGroupEntries);
    constexpr std::size_t kBytes = packed::kGroupEntries * sizeof(V);
    for (std::size_t b = 0; b < kBytes; b += 64) __builtin_prefetch(p + b);
  }
};

/// Solves A x = rhs for a strip of n elements with its packed factors: reads rhs[1 .. N],
/// writes y and answer (N = 6 n + 2 entries each, index 0 unused).  Row k of the forward
/// substitution reads rhs(k) before it writes y(k), row k of the back substitution y(k)
/// before answer(k), so the three may be one array.
template <class Prefetch, class V>
inline void solveBand(int n, const V* factors, const V* rhs, V* y, V* answer) {
  constexpr int kG = packed::kGroupEntries;
  forwardGroup<true>(factors, static_cast<const V*>(nullptr), rhs, y, 0);
  for (int g = 1; g < n; ++g) {
    Prefetch::group(factors, g + Prefetch::kGroups, n);
    const V* const cur = factors + static_cast<std::size_t>(g) * kG;
    forwardGroup<false>(cur, cur - kG, rhs, y, 6 * g);
  }
  const V* const last = factors + static_cast<std::size_t>(n) * kG;
  forwardRow<1, false>(last, last - kG, rhs, y, 6 * n + 1);
  forwardRow<2, false>(last, last - kG, rhs, y, 6 * n + 2);

  backRow<2, 0>(last, y, answer, 6 * n + 2);
  backRow<1, 1>(last, y, answer, 6 * n + 1);
  for (int g = n - 1; g >= 0; --g)
    backGroup(factors + static_cast<std::size_t>(g) * kG, y, answer, 6 * g);
}

}  // namespace band_lu
}  // namespace sw

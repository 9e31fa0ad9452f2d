#include "strip/lane_factors.hpp"

#include <array>

namespace sw {

namespace {

using packed::lslot;
using packed::uslot;

/// The band matrices of the lanes, diagonal by diagonal: d[j][l] = a[l].diagonal(j).
struct LaneBand {
  std::array<std::array<const Cx*, kLanes>, 16> d{};

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

/// One step of the factorisation inside a group of six unknowns, as in factorStrip.
struct GroupStep {
  const LaneBand& a;
  LaneCx* cur;
  const LaneCx* prev;

  LaneCx& lc(int p, int q) const { return cur[lslot(q, p - q)]; }
  LaneCx& uc(int q, int p) const { return cur[uslot(q, p - q)]; }
  const LaneCx& lp(int p, int q) const { return prev[lslot(q + 6, p - q)]; }
  const LaneCx& up(int q, int p) const { return prev[uslot(q + 6, p - q)]; }
};

/// Column k of L and row k of U, each sum started from A and its products subtracted in
/// ascending order of the summation index, exactly as factorStrip does.
template <int T, int MEND, bool FIRST>
inline void factorUnknown(const GroupStep& st, int k) {
  constexpr int kBack = FIRST ? 1 : -5;

  for (int m = 0; m <= MEND; ++m) {
    const int p = T + m;
    LaneCx w = st.a.at(8 - m, k + m - 1);
    if (p <= 2)
      for (int q = kBack; q <= 0; ++q) w -= st.lp(p, q) * st.up(q, T);
    for (int q = 1; q < T; ++q) w -= st.lc(p, q) * st.uc(q, T);
    st.lc(p, T) = w;
  }

  const LaneCx pivot = st.lc(T, T);
  for (int m = 1; m <= MEND; ++m) {
    const int p = T + m;
    LaneCx w = st.a.at(8 + m, k - 1);
    if (p <= 2)
      for (int q = kBack; q <= 0; ++q) w -= st.lp(T, q) * st.up(q, p);
    for (int q = 1; q < T; ++q) w -= st.lc(T, q) * st.uc(q, p);
    st.uc(T, p) = w / pivot;
  }
}

template <bool FIRST>
inline void factorGroup(const GroupStep& st, int k0) {
  factorUnknown<1, 7, FIRST>(st, k0 + 1);
  factorUnknown<2, 6, FIRST>(st, k0 + 2);
  factorUnknown<3, 5, FIRST>(st, k0 + 3);
  factorUnknown<4, 4, FIRST>(st, k0 + 4);
  factorUnknown<5, 3, FIRST>(st, k0 + 5);
  factorUnknown<6, 2, FIRST>(st, k0 + 6);
}

/// Forward substitution row k at group position T, nearest term first, as solveStrip.
template <int T, bool FIRST>
inline void forwardRow(const LaneCx* cur, const LaneCx* prev, LaneCx* y, int k) {
  LaneCx w = y[k];
  for (int q = T - 1; q >= 1; --q) w -= cur[lslot(q, T - q)] * y[k - T + q];
  if (!FIRST && T <= 2)
    for (int q = 0; q >= -5; --q) w -= prev[lslot(q + 6, T - q)] * y[k - T + q];
  y[k] = w / cur[lslot(T, 0)];
}

/// Back substitution row k at group position T, nearest term first, as solveStrip.
template <int T, int MEND>
inline void backRow(const LaneCx* cur, LaneCx* x, int k) {
  LaneCx w = x[k];
  for (int m = 1; m <= MEND; ++m) w -= cur[uslot(T, m)] * x[k + m];
  x[k] = w;
}

template <bool FIRST>
inline void forwardGroup(const LaneCx* cur, const LaneCx* prev, LaneCx* y, int k0) {
  forwardRow<1, FIRST>(cur, prev, y, k0 + 1);
  forwardRow<2, FIRST>(cur, prev, y, k0 + 2);
  forwardRow<3, FIRST>(cur, prev, y, k0 + 3);
  forwardRow<4, FIRST>(cur, prev, y, k0 + 4);
  forwardRow<5, FIRST>(cur, prev, y, k0 + 5);
  forwardRow<6, FIRST>(cur, prev, y, k0 + 6);
}

inline void backGroup(const LaneCx* cur, LaneCx* x, int k0) {
  backRow<6, 2>(cur, x, k0 + 6);
  backRow<5, 3>(cur, x, k0 + 5);
  backRow<4, 4>(cur, x, k0 + 4);
  backRow<3, 5>(cur, x, k0 + 3);
  backRow<2, 6>(cur, x, k0 + 2);
  backRow<1, 7>(cur, x, k0 + 1);
}

/// Position of L(k+m, k) or U(k, k+m) in a group block (the packed layout).
std::size_t slotOf(bool upper, int m, int k) {
  const int g = (k - 1) / 6;
  const int t = k - 6 * g;
  SW_BOUNDS(m <= 8 - t);
  const int slot = upper ? uslot(t, m) : lslot(t, m);
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
  LaneBand band;
  for (int j = 1; j <= 15; ++j)
    for (int l = 0; l < kLanes; ++l)
      band.d[static_cast<std::size_t>(j)][static_cast<std::size_t>(l)] = a[l]->diagonal(j);

  constexpr int kG = packed::kGroupEntries;
  factorGroup<true>(GroupStep{band, out, nullptr}, 0);
  for (int g = 1; g < n; ++g) {
    LaneCx* const cur = out + static_cast<std::size_t>(g) * kG;
    factorGroup<false>(GroupStep{band, cur, cur - kG}, 6 * g);
  }
  LaneCx* const last = out + static_cast<std::size_t>(n) * kG;
  const GroupStep st{band, last, last - kG};
  factorUnknown<1, 1, false>(st, 6 * n + 1);
  factorUnknown<2, 0, false>(st, 6 * n + 2);
}

/// Asks for the factors of group g of a block (0 .. last) to be brought into the caches.
/// The forward substitution is a chain of dependent operations that consumes the factors
/// more slowly than one thread's hardware prefetch fetches them by itself, but not slowly
/// enough to hide the memory latency; fetching a fixed distance ahead overlaps the two.
/// The back substitution reads the block again in reverse, most of it from the caches,
/// where fetching ahead only costs instructions.
inline void prefetchGroup(const LaneCx* factors, int g, int last) {
  if (g > last) return;
  const char* p =
      reinterpret_cast<const char*>(factors + static_cast<std::size_t>(g) * packed::kGroupEntries);
  constexpr std::size_t kBytes = packed::kGroupEntries * sizeof(LaneCx);
  for (std::size_t b = 0; b < kBytes; b += 64) __builtin_prefetch(p + b);
}

/// Groups between the one being solved and the one being fetched.
constexpr int kPrefetchGroups = 8;

void solveLanes(int n, const LaneCx* factors, LaneCx* x) {
  constexpr int kG = packed::kGroupEntries;
  forwardGroup<true>(factors, nullptr, x, 0);
  for (int g = 1; g < n; ++g) {
    prefetchGroup(factors, g + kPrefetchGroups, n);
    const LaneCx* const cur = factors + static_cast<std::size_t>(g) * kG;
    forwardGroup<false>(cur, cur - kG, x, 6 * g);
  }
  const LaneCx* const last = factors + static_cast<std::size_t>(n) * kG;
  forwardRow<1, false>(last, last - kG, x, 6 * n + 1);
  forwardRow<2, false>(last, last - kG, x, 6 * n + 2);

  backRow<2, 0>(last, x, 6 * n + 2);
  backRow<1, 1>(last, x, 6 * n + 1);
  for (int g = n - 1; g >= 0; --g) backGroup(factors + static_cast<std::size_t>(g) * kG, x, 6 * g);
}

}  // namespace sw

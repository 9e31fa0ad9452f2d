#include "strip/factor_strip.hpp"

#include <array>

#include "core/check.hpp"

namespace sw {

namespace {

using packed::lslot;
using packed::uslot;

/// One step of the factorisation inside a group of six unknowns.  Positions are
/// relative to the group: unknown 6g + p has position p, so p = 1 .. 6 are the group's
/// own unknowns, p = -5 .. 0 those of the previous group and p = 7, 8 the first two of
/// the next.  `cur` and `prev` are the packed records of this and the previous group.
struct GroupStep {
  const std::array<const Cx*, 16>& a;  ///< a[j][i - 1] = a(i, j)
  Cx* cur;
  const Cx* prev;

  /// L(p, q), q in this group.
  Cx& lc(int p, int q) const { return cur[lslot(q, p - q)]; }
  /// U(q, p), q in this group.
  Cx& uc(int q, int p) const { return cur[uslot(q, p - q)]; }
  /// L(p, q), q in the previous group.
  const Cx& lp(int p, int q) const { return prev[lslot(q + 6, p - q)]; }
  /// U(q, p), q in the previous group.
  const Cx& up(int q, int p) const { return prev[uslot(q + 6, p - q)]; }
};

/// Column k of L and row k of U for the unknown k at group position T, down to row
/// k + MEND (8 - T inside the strip, less in the last two rows).  FIRST marks group 0,
/// which has no previous group.
///
/// Every sum starts from the entry of A and subtracts its products one at a time in
/// ascending order of the summation index (previous group first), as the reference
/// results require.  Rows at positions 1 and 2 (the edge shared with the previous
/// element) reach back into the previous group; all others start at position 1.
template <int T, int MEND, bool FIRST>
inline void factorUnknown(const GroupStep& st, int k) {
  constexpr int kBack = FIRST ? 1 : -5;

  // Column k of L: L(k+m, k) = A(k+m, k) - sum L(k+m, j) U(j, k).
  for (int m = 0; m <= MEND; ++m) {
    const int p = T + m;
    Cx w = st.a[8 - m][k + m - 1];
    if (p <= 2)
      for (int q = kBack; q <= 0; ++q) w -= st.lp(p, q) * st.up(q, T);
    for (int q = 1; q < T; ++q) w -= st.lc(p, q) * st.uc(q, T);
    st.lc(p, T) = w;
  }

  // Row k of U: U(k, k+m) = (A(k, k+m) - sum L(k, j) U(j, k+m)) / L(k, k).
  const Cx pivot = st.lc(T, T);
  for (int m = 1; m <= MEND; ++m) {
    const int p = T + m;
    Cx w = st.a[8 + m][k - 1];
    if (p <= 2)
      for (int q = kBack; q <= 0; ++q) w -= st.lp(T, q) * st.up(q, p);
    for (int q = 1; q < T; ++q) w -= st.lc(T, q) * st.uc(q, p);
    st.uc(T, p) = w / pivot;
  }
}

/// The six unknowns 6g + 1 .. 6g + 6 of a whole element group.
template <bool FIRST>
inline void factorGroup(const GroupStep& st, int k0) {
  factorUnknown<1, 7, FIRST>(st, k0 + 1);
  factorUnknown<2, 6, FIRST>(st, k0 + 2);
  factorUnknown<3, 5, FIRST>(st, k0 + 3);
  factorUnknown<4, 4, FIRST>(st, k0 + 4);
  factorUnknown<5, 3, FIRST>(st, k0 + 5);
  factorUnknown<6, 2, FIRST>(st, k0 + 6);
}

}  // namespace

void factorStrip(int s, const BandMatrix& a, StripFactors& f) {
  SW_CHECK(s >= 1 && s <= f.strips() && a.rows() >= f.unknowns(), "strip and band of the factors");
  const int n = f.nx();
  std::array<const Cx*, 16> diag{};
  for (int j = 1; j <= 15; ++j) diag[j] = a.diagonal(j);

  Cx* const base = f.packedStrip(s);
  factorGroup<true>(GroupStep{diag, base, nullptr}, 0);
  for (int g = 1; g < n; ++g) {
    Cx* const cur = base + static_cast<std::size_t>(g) * packed::kGroupEntries;
    factorGroup<false>(GroupStep{diag, cur, cur - packed::kGroupEntries}, 6 * g);
  }
  // The last two unknowns N - 1, N: the right edge of the last element.
  Cx* const last = base + static_cast<std::size_t>(n) * packed::kGroupEntries;
  const GroupStep st{diag, last, last - packed::kGroupEntries};
  factorUnknown<1, 1, false>(st, 6 * n + 1);
  factorUnknown<2, 0, false>(st, 6 * n + 2);
}

}  // namespace sw

#include "strip/solve_strip.hpp"

#include "core/check.hpp"

namespace sw {

namespace {

using packed::lslot;
using packed::uslot;

/// Forward substitution for row k at group position T:
/// y(k) = (rhs(k) - sum L(k, j) y(j)) / L(k, k), the nearest j first.  Rows at
/// positions 1 and 2 continue into the previous group (`prev`), unless FIRST.
template <int T, bool FIRST>
inline void forwardRow(const Cx* cur, const Cx* prev, const Cx* rhs, Cx* y, int k) {
  Cx w = rhs[k];
  for (int q = T - 1; q >= 1; --q) w -= cur[lslot(q, T - q)] * y[k - T + q];
  if (!FIRST && T <= 2)
    for (int q = 0; q >= -5; --q) w -= prev[lslot(q + 6, T - q)] * y[k - T + q];
  y[k] = w / cur[lslot(T, 0)];
}

/// Back substitution for row k at group position T, with MEND entries of U right of
/// the diagonal: answer(k) = y(k) - sum U(k, k+m) answer(k+m), the nearest first.
template <int T, int MEND>
inline void backRow(const Cx* cur, const Cx* y, Cx* answer, int k) {
  Cx w = y[k];
  for (int m = 1; m <= MEND; ++m) w -= cur[uslot(T, m)] * answer[k + m];
  answer[k] = w;
}

template <bool FIRST>
inline void forwardGroup(const Cx* cur, const Cx* prev, const Cx* rhs, Cx* y, int k0) {
  forwardRow<1, FIRST>(cur, prev, rhs, y, k0 + 1);
  forwardRow<2, FIRST>(cur, prev, rhs, y, k0 + 2);
  forwardRow<3, FIRST>(cur, prev, rhs, y, k0 + 3);
  forwardRow<4, FIRST>(cur, prev, rhs, y, k0 + 4);
  forwardRow<5, FIRST>(cur, prev, rhs, y, k0 + 5);
  forwardRow<6, FIRST>(cur, prev, rhs, y, k0 + 6);
}

inline void backGroup(const Cx* cur, const Cx* y, Cx* answer, int k0) {
  backRow<6, 2>(cur, y, answer, k0 + 6);
  backRow<5, 3>(cur, y, answer, k0 + 5);
  backRow<4, 4>(cur, y, answer, k0 + 4);
  backRow<3, 5>(cur, y, answer, k0 + 3);
  backRow<2, 6>(cur, y, answer, k0 + 2);
  backRow<1, 7>(cur, y, answer, k0 + 1);
}

}  // namespace

void solveStrip(int s, const StripFactors& f, StripWork& work) {
  SW_CHECK(s >= 1 && s <= f.strips() && work.a.rows() == f.unknowns(), "strip and work storage");
  const int n = f.nx();
  const Cx* const rhs = work.rhs.data();
  Cx* const answer = work.answer.data();
  Cx* const y = work.y.data();
  const Cx* const base = f.packedStrip(s);
  constexpr int kG = packed::kGroupEntries;

  forwardGroup<true>(base, nullptr, rhs, y, 0);
  for (int g = 1; g < n; ++g) {
    const Cx* const cur = base + static_cast<std::size_t>(g) * kG;
    forwardGroup<false>(cur, cur - kG, rhs, y, 6 * g);
  }
  const Cx* const last = base + static_cast<std::size_t>(n) * kG;
  forwardRow<1, false>(last, last - kG, rhs, y, 6 * n + 1);
  forwardRow<2, false>(last, last - kG, rhs, y, 6 * n + 2);

  backRow<2, 0>(last, y, answer, 6 * n + 2);
  backRow<1, 1>(last, y, answer, 6 * n + 1);
  for (int g = n - 1; g >= 0; --g)
    backGroup(base + static_cast<std::size_t>(g) * kG, y, answer, 6 * g);
}

}  // namespace sw

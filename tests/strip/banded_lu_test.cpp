// Factorisation and solve of one strip: bit for bit the envelope formulas, L U = A, the
// solve of a known system, and each strip's factors kept apart.

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <vector>

#include "strip/factor_strip.hpp"
#include "strip/solve_strip.hpp"
#include "strip/strip_work.hpp"
#include "support/strip.hpp"

namespace sw::test {
namespace {

/// A random strip of n elements factored into strip s of `strips`.
struct Factored {
  int n;
  BandMatrix a;
  StripFactors f;
  Factored(int n_, Random& rnd, int strips = 1, int s = 1)
      : n(n_), a(randomStrip(n_, rnd)), f(n_, strips) {
    factorStrip(s, a, f);
  }
};

/// rhs[1 .. N] of random values.
std::vector<Cx> randomVector(int n, Random& rnd) {
  std::vector<Cx> v(static_cast<std::size_t>(stripUnknowns(n)) + 1);
  for (std::size_t i = 1; i < v.size(); ++i) v[i] = rnd.cx(-3.0, 3.0);
  return v;
}

/// The solve of strip s for `rhs`.
std::vector<Cx> solved(const StripFactors& f, int s, const std::vector<Cx>& rhs) {
  StripWork w(f.nx());
  w.rhs = rhs;
  solveStrip(s, f, w);
  return w.answer;
}

/// Calls check(i, k) for every position of the envelope of a strip of n elements.
template <class F>
void forEnvelope(int n, F check) {
  for (int i = 1; i <= stripUnknowns(n); ++i)
    for (int k = envStart(i); k <= envEnd(i, n); ++k) check(i, k);
}

/// L(i, k) for i >= k, U(i, k) for i < k, of strip s.
Cx factorAt(const StripFactors& f, int i, int k, int s) {
  return i >= k ? f.lower(i, k, s) : f.upper(i, k, s);
}

TEST(FactorStrip, MatchesTheEnvelopeFormulasBitForBit) {
  Random rnd(11);
  for (int n : {1, 2, 3, 7, 40}) {
    const Factored fa(n, rnd, 2, 2);
    ReferenceLu ref(fa.a, n);
    forEnvelope(n, [&](int i, int k) {
      const Cx want = i >= k ? ref.l(i, k) : ref.u(i, k);
      EXPECT_TRUE(sameBits(factorAt(fa.f, i, k, 2), want)) << n << ": (" << i << "," << k << ")";
    });
  }
}

TEST(FactorStrip, LTimesUReproducesA) {
  Random rnd(12);
  for (int n : {1, 2, 37, 600}) {
    const Factored fa(n, rnd);
    const int nn = stripUnknowns(n);
    const auto U = [&](int k, int i) { return i == k ? Cx{1.0, 0.0} : fa.f.upper(k, i, 1); };
    double worst = 0.0;
    // Over the whole band: outside the envelope A and both factors are zero.
    for (int i = 1; i <= nn; ++i)
      for (int k = std::max(1, i - 7); k <= std::min(nn, i + 7); ++k) {
        Cx sum{};
        for (int j = std::max(1, std::max(i, k) - 7); j <= std::min(i, k); ++j)
          sum = sum + fa.f.lower(i, j, 1) * U(j, k);
        worst = std::max(worst, abs(sum - bandAt(fa.a, i, k)));
      }
    EXPECT_LT(worst, kRelTol * 20.0) << "n=" << n;
  }
}

TEST(FactorStrip, FirstColumnAndRowComeStraightFromA) {
  Random rnd(13);
  const Factored fa(3, rnd);
  for (int i = 1; i <= 8; ++i) EXPECT_TRUE(sameBits(fa.f.lower(i, 1, 1), fa.a(i, 9 - i)));
  for (int i = 2; i <= 8; ++i)
    EXPECT_TRUE(sameBits(fa.f.upper(1, i, 1), fa.a(1, 7 + i) / fa.a(1, 8)));
}

TEST(FactorStrip, ReadsOnlyTheEnvelope) {
  Random rnd(14);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (int n : {1, 2, 5}) {
    const BandMatrix clean = randomStrip(n, rnd);
    // The same matrix in a taller band whose extra rows, off-envelope band positions and
    // corners (columns outside 1 .. N) hold garbage.
    BandMatrix dirty(n + 2);
    for (int i = 1; i <= dirty.rows(); ++i)
      for (int j = 1; j <= 15; ++j)
        dirty(i, j) = inEnvelope(i, i + j - 8, n) ? clean(i, j) : Cx{nan, 1e200 * j};
    StripFactors fc(n, 1), fd(n, 1);
    factorStrip(1, clean, fc);
    factorStrip(1, dirty, fd);
    forEnvelope(n, [&](int i, int k) {
      EXPECT_TRUE(sameBits(factorAt(fc, i, k, 1), factorAt(fd, i, k, 1))) << n << " " << i << k;
    });
  }
}

TEST(FactorStrip, WritesOnlyItsOwnStrip) {
  Random rnd(15);
  const int n = 3;
  const BandMatrix a = randomStrip(n, rnd), b = randomStrip(n, rnd);
  StripFactors f(n, 3), alone(n, 1);
  for (int s = 1; s <= 3; ++s) factorStrip(s, a, f);
  factorStrip(2, b, f);
  factorStrip(1, b, alone);
  forEnvelope(n, [&](int i, int k) {
    EXPECT_TRUE(sameBits(factorAt(f, i, k, 1), factorAt(f, i, k, 3)));
    EXPECT_TRUE(sameBits(factorAt(f, i, k, 2), factorAt(alone, i, k, 1)));
  });
}

TEST(FactorStrip, IdentityGivesUnitPivotsAndZerosElsewhere) {
  const int n = 4;
  BandMatrix a(n);
  for (int i = 1; i <= stripUnknowns(n); ++i) a(i, 8) = Cx{1.0, 0.0};
  StripFactors f(n, 1);
  factorStrip(1, a, f);
  forEnvelope(n, [&](int i, int k) {
    EXPECT_TRUE(factorAt(f, i, k, 1) == (i == k ? Cx{1.0, 0.0} : Cx{})) << i << "," << k;
  });
}

TEST(FactorStrip, ZeroPivotSpreadsNonFiniteValuesWithoutStopping) {
  Random rnd(18);
  BandMatrix a = randomStrip(2, rnd);
  a(1, 8) = Cx{};
  StripFactors f(2, 1);
  factorStrip(1, a, f);
  EXPECT_FALSE(isfinite(f.upper(1, 2, 1)));
  EXPECT_FALSE(isfinite(f.lower(14, 14, 1)));
}

TEST(SolveStrip, RecoversAKnownSolution) {
  Random rnd(21);
  for (int n : {1, 2, 37, 600}) {
    const Factored fa(n, rnd);
    const std::vector<Cx> x0 = randomVector(n, rnd);
    const std::vector<Cx> x = solved(fa.f, 1, bandTimes(fa.a, n, x0));
    double worst = 0.0;
    for (int i = 1; i <= stripUnknowns(n); ++i) worst = std::max(worst, abs(x[i] - x0[i]));
    EXPECT_LT(worst, kRelTol * 10.0) << "n=" << n;
  }
}

TEST(SolveStrip, MatchesTheSubstitutionFormulasBitForBit) {
  Random rnd(22);
  for (int n : {1, 2, 3, 40}) {
    const Factored fa(n, rnd);
    const std::vector<Cx> rhs = randomVector(n, rnd);
    const std::vector<Cx> x = solved(fa.f, 1, rhs);
    const std::vector<Cx> want = ReferenceLu(fa.a, n).solve(rhs);
    for (int i = 1; i <= stripUnknowns(n); ++i)
      EXPECT_TRUE(sameBits(x[i], want[i])) << "n=" << n << " i=" << i;
  }
}

TEST(SolveStrip, ZeroRightHandSideGivesExactlyZero) {
  Random rnd(24);
  const Factored fa(5, rnd);
  const std::vector<Cx> x = solved(fa.f, 1, std::vector<Cx>(stripUnknowns(5) + 1));
  for (int i = 1; i <= stripUnknowns(5); ++i) EXPECT_TRUE(x[i] == Cx{}) << i;
}

TEST(SolveStrip, DependsOnlyOnItsOwnStripAndNotOnTheWorkStorage) {
  Random rnd(26);
  const int n = 6;
  const Factored fa(n, rnd, 3, 2);
  StripFactors other(n, 3);
  for (int s = 1; s <= 3; ++s) factorStrip(s, randomStrip(n, rnd), other);
  factorStrip(2, fa.a, other);
  const std::vector<Cx> rhs = randomVector(n, rnd);
  StripWork w(n);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::fill(w.y.begin(), w.y.end(), Cx{nan, -1e300});
  std::fill(w.answer.begin(), w.answer.end(), Cx{nan, nan});
  w.rhs = rhs;
  solveStrip(2, other, w);
  const std::vector<Cx> first = solved(fa.f, 2, rhs);
  for (int i = 1; i <= stripUnknowns(n); ++i) EXPECT_TRUE(sameBits(w.answer[i], first[i])) << i;
}

}  // namespace
}  // namespace sw::test

#include "strip/factor_strip.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "strip/band_matrix.hpp"
#include "support/strip.hpp"

namespace sw {
namespace {

using test::envEnd;
using test::envStart;
using test::fillSentinels;
using test::forEachPosition;
using test::Random;
using test::sameBits;
using test::sentinel;
using test::storedPosition;

/// Expects the factors of strip s to equal the reference bit for bit where stored.
void expectMatchesReference(const StripFactors& f, int s, const BandMatrix& a, int n) {
  test::ReferenceLu ref(a, n);
  forEachPosition(n, [&](bool upper, int m, int k) {
    if (!storedPosition(m, k, n)) return;
    const Cx got = upper ? f.u(m, k, s) : f.xld(m, k, s);
    const Cx want = upper ? ref.u(k, k + m) : ref.l(k + m, k);
    EXPECT_TRUE(sameBits(got, want))
        << "n=" << n << (upper ? " u" : " xld") << m << "(" << k << ")";
  });
}

TEST(FactorStrip, MatchesEnvelopeFormulasBitForBit) {
  Random rnd(11);
  for (int n : {1, 2, 3, 7, 40}) {
    const BandMatrix a = test::randomStrip(n, rnd);
    StripFactors f(n, 2);
    factorStrip(n, 2, a, f);
    expectMatchesReference(f, 2, a, n);
  }
}

TEST(FactorStrip, LTimesUReproducesAInsideTheEnvelope) {
  Random rnd(12);
  for (int n : {1, 2, 37, 600}) {
    const BandMatrix a = test::randomStrip(n, rnd);
    StripFactors f(n, 1);
    factorStrip(n, 1, a, f);
    auto L = [&](int i, int k) { return f.xld(i - k, k, 1); };
    auto U = [&](int k, int i) { return i == k ? Cx{1.0, 0.0} : f.u(i - k, k, 1); };
    const int nn = stripUnknowns(n);
    double worst = 0.0;
    for (int i = 1; i <= nn; ++i)
      for (int k = envStart(i); k <= envEnd(i, n); ++k) {
        Cx sum{};
        for (int j = std::max(envStart(i), envStart(k)); j <= std::min(i, k); ++j)
          sum = sum + L(i, j) * U(j, k);
        worst = std::max(worst, abs(sum - test::bandAt(a, i, k)));
      }
    EXPECT_LT(worst, test::kRelTol * 20.0) << "n=" << n;
  }
}

TEST(FactorStrip, FirstColumnAndRowComeStraightFromA) {
  Random rnd(13);
  const BandMatrix a = test::randomStrip(3, rnd);
  StripFactors f(3, 1);
  factorStrip(3, 1, a, f);
  for (int i = 1; i <= 8; ++i) EXPECT_TRUE(sameBits(f.xld(i - 1, 1, 1), a(i, 9 - i)));
  for (int i = 2; i <= 8; ++i) EXPECT_TRUE(sameBits(f.u(i - 1, 1, 1), a(1, 7 + i) / a(1, 8)));
}

TEST(FactorStrip, IgnoresEverythingOutsideTheEnvelope) {
  Random rnd(14);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (int n : {1, 2, 5}) {
    const BandMatrix clean = test::randomStrip(n, rnd);
    const int nn = stripUnknowns(n);
    // Same matrix in a taller band whose extra rows, off-envelope band positions and
    // corner positions (columns outside 1 .. N) all hold garbage.
    BandMatrix dirty(n + 2);
    for (int i = 1; i <= dirty.rows(); ++i)
      for (int j = 1; j <= 15; ++j) {
        const int k = i + j - 8;
        dirty(i, j) = test::inEnvelope(i, k, n) ? clean(i, j) : Cx{nan, 1e200 * j};
      }
    StripFactors fc(n, 1), fd(n, 1);
    factorStrip(n, 1, clean, fc);
    factorStrip(n, 1, dirty, fd);
    forEachPosition(n, [&](bool upper, int m, int k) {
      const Cx c = upper ? fc.u(m, k, 1) : fc.xld(m, k, 1);
      const Cx d = upper ? fd.u(m, k, 1) : fd.xld(m, k, 1);
      EXPECT_TRUE(sameBits(c, d)) << "n=" << n << " m=" << m << " k=" << k;
    });
    EXPECT_EQ(nn + 12, dirty.rows());
  }
}

TEST(StripFactors, EveryPositionHasItsOwnStorage) {
  for (int n : {1, 2, 5}) {
    StripFactors f(n, 3);
    fillSentinels(f);
    for (int s = 1; s <= 3; ++s)
      forEachPosition(n, [&](bool upper, int m, int k) {
        const Cx got = upper ? f.u(m, k, s) : f.xld(m, k, s);
        EXPECT_TRUE(sameBits(got, sentinel(upper, m, k, s))) << n << " " << m << " " << k;
      });
  }
}

TEST(FactorStrip, WritesOnlyColumnSAndOnlyStoredPositions) {
  Random rnd(15);
  const int n = 3;
  const BandMatrix a = test::randomStrip(n, rnd);
  StripFactors f(n, 3), clean(n, 3);
  fillSentinels(f);
  factorStrip(n, 2, a, f);
  factorStrip(n, 2, a, clean);
  // Whatever the other strips and the holes held, strip 2 gets the same factors.
  forEachPosition(n, [&](bool upper, int m, int k) {
    if (!storedPosition(m, k, n)) return;
    EXPECT_TRUE(sameBits(upper ? f.u(m, k, 2) : f.xld(m, k, 2),
                         upper ? clean.u(m, k, 2) : clean.xld(m, k, 2)));
  });
  for (int s = 1; s <= 3; ++s)
    forEachPosition(n, [&](bool upper, int m, int k) {
      const Cx got = upper ? f.u(m, k, s) : f.xld(m, k, s);
      const bool kept = sameBits(got, sentinel(upper, m, k, s));
      const bool written = s == 2 && storedPosition(m, k, n);
      EXPECT_EQ(!written, kept) << "s=" << s << (upper ? " u" : " xld") << m << "(" << k << ")";
    });
}

TEST(FactorStrip, TwoElementStripWritesTheTabulatedPositions) {
  Random rnd(16);
  const BandMatrix a = test::randomStrip(2, rnd);
  StripFactors f(2, 1);
  fillSentinels(f);
  factorStrip(2, 1, a, f);
  auto written = [&](bool upper, int m, int k) {
    const Cx got = upper ? f.u(m, k, 1) : f.xld(m, k, 1);
    return !sameBits(got, sentinel(upper, m, k, 1));
  };
  for (int k = 1; k <= 14; ++k) EXPECT_TRUE(written(false, 0, k)) << k;
  for (int k = 1; k <= 7; ++k) {
    EXPECT_EQ(k == 1 || k == 7, written(false, 7, k)) << k;
    EXPECT_EQ(k == 1 || k == 7, written(true, 7, k)) << k;
  }
  for (int k = 1; k <= 11; ++k) {
    EXPECT_EQ(k != 6, written(false, 3, k)) << k;
    EXPECT_EQ(k != 6, written(true, 3, k)) << k;
  }
}

TEST(FactorStrip, OneElementStripIsACompleteDenseFactorisation) {
  Random rnd(17);
  const BandMatrix a = test::randomStrip(1, rnd);
  StripFactors f(1, 1);
  fillSentinels(f);
  factorStrip(1, 1, a, f);
  forEachPosition(1, [&](bool upper, int m, int k) {
    const Cx got = upper ? f.u(m, k, 1) : f.xld(m, k, 1);
    EXPECT_FALSE(sameBits(got, sentinel(upper, m, k, 1))) << m << " " << k;
  });
}

TEST(FactorStrip, IdentityGivesUnitPivotsAndZerosElsewhere) {
  const int n = 4;
  BandMatrix a(n);
  for (int i = 1; i <= stripUnknowns(n); ++i) a(i, 8) = Cx{1.0, 0.0};
  StripFactors f(n, 1);
  fillSentinels(f);
  factorStrip(n, 1, a, f);
  forEachPosition(n, [&](bool upper, int m, int k) {
    if (!storedPosition(m, k, n)) return;
    const Cx got = upper ? f.u(m, k, 1) : f.xld(m, k, 1);
    const Cx want = (!upper && m == 0) ? Cx{1.0, 0.0} : Cx{};
    EXPECT_TRUE(got == want) << (upper ? "u" : "xld") << m << "(" << k << ")";
  });
}

TEST(FactorStrip, ZeroPivotSpreadsNonFiniteValuesWithoutStopping) {
  Random rnd(18);
  BandMatrix a = test::randomStrip(2, rnd);
  a(1, 8) = Cx{};
  StripFactors f(2, 1);
  factorStrip(2, 1, a, f);
  EXPECT_FALSE(isfinite(f.u(1, 1, 1)));
  EXPECT_FALSE(isfinite(f.xld(0, 14, 1)));
}

}  // namespace
}  // namespace sw

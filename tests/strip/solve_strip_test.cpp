#include "strip/solve_strip.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "strip/band_matrix.hpp"
#include "strip/factor_strip.hpp"
#include "strip/strip_work.hpp"
#include "support/strip.hpp"

namespace sw {
namespace {

using test::fillSentinels;
using test::Random;
using test::sameBits;

/// Factors a random strip and returns it with its factors, for the solve tests.
struct Factored {
  int n;
  BandMatrix a;
  StripFactors f;
  Factored(int n_, int strips, int s, Random& rnd)
      : n(n_), a(test::randomStrip(n_, rnd)), f(n_, strips) {
    factorStrip(n, s, a, f);
  }
};

std::vector<Cx> randomVector(int n, Random& rnd) {
  std::vector<Cx> v(static_cast<std::size_t>(stripUnknowns(n)) + 1);
  for (std::size_t i = 1; i < v.size(); ++i) v[i] = rnd.cx(-3.0, 3.0);
  return v;
}

TEST(SolveStrip, RecoversAKnownSolution) {
  Random rnd(21);
  for (int n : {1, 2, 37, 600}) {
    Factored fa(n, 1, 1, rnd);
    const std::vector<Cx> x0 = randomVector(n, rnd);
    const std::vector<Cx> rhs = test::bandTimes(fa.a, n, x0);
    StripWork w(n);
    solveStrip(n, 1, rhs.data(), fa.f, w.answer.data(), w.y.data());
    double worst = 0.0;
    for (int i = 1; i <= stripUnknowns(n); ++i) worst = std::max(worst, abs(w.answer[i] - x0[i]));
    EXPECT_LT(worst, test::kRelTol * 10.0) << "n=" << n;
  }
}

TEST(SolveStrip, MatchesTheSubstitutionFormulasBitForBit) {
  Random rnd(22);
  for (int n : {1, 2, 3, 40}) {
    Factored fa(n, 1, 1, rnd);
    const std::vector<Cx> rhs = randomVector(n, rnd);
    StripWork w(n);
    solveStrip(n, 1, rhs.data(), fa.f, w.answer.data(), w.y.data());
    test::ReferenceLu ref(fa.a, n);
    const std::vector<Cx> want = ref.solve(rhs);
    for (int i = 1; i <= stripUnknowns(n); ++i)
      EXPECT_TRUE(sameBits(w.answer[i], want[i])) << "n=" << n << " i=" << i;
  }
}

TEST(SolveStrip, FirstAndLastEntriesFollowTheirFormulas) {
  Random rnd(23);
  const int n = 3, nn = stripUnknowns(n);
  Factored fa(n, 1, 1, rnd);
  const std::vector<Cx> rhs = randomVector(n, rnd);
  StripWork w(n);
  solveStrip(n, 1, rhs.data(), fa.f, w.answer.data(), w.y.data());
  EXPECT_TRUE(sameBits(w.y[1], rhs[1] / fa.f.xld(0, 1, 1)));
  EXPECT_TRUE(sameBits(w.answer[nn], w.y[nn]));
  EXPECT_TRUE(sameBits(w.answer[nn - 1], w.y[nn - 1] - fa.f.u(1, nn - 1, 1) * w.answer[nn]));
}

TEST(SolveStrip, ZeroRightHandSideGivesExactlyZero) {
  Random rnd(24);
  const int n = 5;
  Factored fa(n, 1, 1, rnd);
  const std::vector<Cx> rhs(static_cast<std::size_t>(stripUnknowns(n)) + 1);
  StripWork w(n);
  for (auto& v : w.answer) v = Cx{7.0, 7.0};
  solveStrip(n, 1, rhs.data(), fa.f, w.answer.data(), w.y.data());
  for (int i = 1; i <= stripUnknowns(n); ++i) EXPECT_TRUE(w.answer[i] == Cx{}) << i;
}

TEST(SolveStrip, TouchesNeitherRhsNorAnswerBeyondN) {
  Random rnd(25);
  const int n = 4, nn = stripUnknowns(n);
  Factored fa(n, 1, 1, rnd);
  const std::vector<Cx> rhs = randomVector(n, rnd);
  const std::vector<Cx> rhsBefore = rhs;
  std::vector<Cx> answer(static_cast<std::size_t>(nn) + 6, Cx{-5.0, 5.0});
  std::vector<Cx> y(static_cast<std::size_t>(nn) + 6, Cx{-6.0, 6.0});
  solveStrip(n, 1, rhs.data(), fa.f, answer.data(), y.data());
  for (std::size_t i = 0; i < rhs.size(); ++i) EXPECT_TRUE(sameBits(rhs[i], rhsBefore[i]));
  EXPECT_TRUE(sameBits(answer[0], Cx{-5.0, 5.0}));
  for (std::size_t i = nn + 1; i < answer.size(); ++i) {
    EXPECT_TRUE(sameBits(answer[i], Cx{-5.0, 5.0})) << i;
    EXPECT_TRUE(sameBits(y[i], Cx{-6.0, 6.0})) << i;
  }
}

TEST(SolveStrip, RepeatedSolveIsIdenticalWhateverTheWorkVectorHeld) {
  Random rnd(26);
  const int n = 6, nn = stripUnknowns(n);
  Factored fa(n, 1, 1, rnd);
  const std::vector<Cx> rhs = randomVector(n, rnd);
  StripWork w(n);
  solveStrip(n, 1, rhs.data(), fa.f, w.answer.data(), w.y.data());
  const std::vector<Cx> first = w.answer;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (auto& v : w.y) v = Cx{nan, -1e300};
  for (auto& v : w.answer) v = Cx{nan, nan};
  solveStrip(n, 1, rhs.data(), fa.f, w.answer.data(), w.y.data());
  for (int i = 1; i <= nn; ++i) EXPECT_TRUE(sameBits(w.answer[i], first[i])) << i;
}

TEST(SolveStrip, DependsOnlyOnItsOwnStripsStoredFactors) {
  Random rnd(27);
  const int n = 3;
  const BandMatrix a = test::randomStrip(n, rnd);
  StripFactors clean(n, 3), dirty(n, 3);
  fillSentinels(dirty);  // other strips and the holes of strip 2 hold garbage
  factorStrip(n, 2, a, clean);
  factorStrip(n, 2, a, dirty);
  const std::vector<Cx> rhs = randomVector(n, rnd);
  StripWork wc(n), wd(n);
  solveStrip(n, 2, rhs.data(), clean, wc.answer.data(), wc.y.data());
  solveStrip(n, 2, rhs.data(), dirty, wd.answer.data(), wd.y.data());
  for (int i = 1; i <= stripUnknowns(n); ++i) EXPECT_TRUE(sameBits(wc.answer[i], wd.answer[i]));
}

}  // namespace
}  // namespace sw

// The lane factorisation and solve give, in every lane, the scalar routines' results bit
// for bit: random strips, ties and zeros in the scaled division, extreme magnitudes.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>

#include "strip/factor_strip.hpp"
#include "strip/lane_factors.hpp"
#include "strip/solve_strip.hpp"
#include "strip/strip_work.hpp"
#include "support/strip.hpp"

namespace {

using sw::Cx;
using sw::kLanes;
using sw::test::Random;

/// Strip matrices whose entries come from a small set of values, so that pivots and
/// quotients often tie (|re| = |im|), have a zero part or differ by many orders.
sw::BandMatrix awkwardStrip(int n, Random& rnd) {
  static const double kValues[] = {0.0, -0.0, 1.0, -1.0, 2.0, 0.5, 1e-300, -3e300, 7.25};
  sw::BandMatrix a(n);
  const int nn = sw::stripUnknowns(n);
  for (int i = 1; i <= nn; ++i)
    for (int k = sw::test::envStart(i); k <= sw::test::envEnd(i, n); ++k)
      a(i, 8 + k - i) = Cx{kValues[rnd.integer(0, 8)], kValues[rnd.integer(0, 8)]};
  for (int i = 1; i <= nn; ++i) {
    const double d = rnd.integer(10, 30);
    a(i, 8) = Cx{d, rnd.integer(0, 1) ? d : -d};  // a tie in every diagonal entry
  }
  return a;
}

struct LaneCase {
  int n;
  bool awkward;
};

class LaneFactorsTest : public ::testing::TestWithParam<LaneCase> {};

TEST_P(LaneFactorsTest, EveryLaneMatchesTheScalarFactorsAndSolveBitForBit) {
  const auto [n, awkward] = GetParam();
  Random rnd(1000 + n + (awkward ? 7 : 0));
  std::array<sw::BandMatrix, kLanes> bands;
  const sw::BandMatrix* ptr[kLanes];
  for (int l = 0; l < kLanes; ++l) {
    bands[l] = awkward ? awkwardStrip(n, rnd) : sw::test::randomStrip(n, rnd);
    ptr[l] = &bands[l];
  }
  sw::LaneFactors lanes(n, 2);
  sw::factorLanes(n, ptr, lanes.block(1));

  const int nn = sw::stripUnknowns(n);
  std::vector<sw::LaneCx> rhs(nn + 1);
  for (int k = 1; k <= nn; ++k)
    for (int l = 0; l < kLanes; ++l) setLane(rhs[k], l, rnd.cx(-1.0, 1.0));
  std::vector<sw::LaneCx> answer = rhs;
  sw::solveLanes(n, lanes.block(1), answer.data());

  for (int l = 0; l < kLanes; ++l) {
    sw::StripFactors f(n, 1);
    sw::factorStrip(1, bands[l], f);
    const int nn = sw::stripUnknowns(n);
    for (int k = 1; k <= nn; ++k)
      for (int i = k; i <= sw::test::envEnd(k, n); ++i) {
        EXPECT_TRUE(sw::test::sameValue(f.lower(i, k, 1), lanes.lower(i, k, 1, l)))
            << "lane " << l << " L(" << i << ", " << k << ")";
        if (i > k)
          EXPECT_TRUE(sw::test::sameValue(f.upper(k, i, 1), lanes.upper(k, i, 1, l)))
              << "lane " << l << " U(" << k << ", " << i << ")";
      }

    sw::StripWork work(n);
    for (int k = 1; k <= nn; ++k) work.rhs[k] = lane(rhs[k], l);
    sw::solveStrip(1, f, work);
    for (int k = 1; k <= nn; ++k)
      EXPECT_TRUE(sw::test::sameValue(work.answer[k], lane(answer[k], l)))
          << "lane " << l << " x(" << k << ")";
  }
}

INSTANTIATE_TEST_SUITE_P(Strips, LaneFactorsTest,
                         ::testing::Values(LaneCase{1, false}, LaneCase{2, false},
                                           LaneCase{7, false}, LaneCase{40, false},
                                           LaneCase{1, true}, LaneCase{3, true},
                                           LaneCase{25, true}));

TEST(LaneDivision, EachLaneTakesItsOwnBranchOfTheScaledDivision) {
  // Every pair of a small set of awkward parts, one pair per lane at a time.
  const double v[] = {0.0,
                      -0.0,
                      1.0,
                      -1.0,
                      3.0,
                      1e-310,
                      -1e308,
                      2.5e-16,
                      std::numeric_limits<double>::infinity(),
                      std::numeric_limits<double>::quiet_NaN()};
  std::vector<Cx> values;
  for (double a : v)
    for (double b : v) values.push_back(Cx{a, b});
  int l = 0;
  sw::LaneCx num{}, den{};
  std::array<Cx, kLanes> wantQ{};
  for (const Cx p : values)
    for (const Cx d : values) {
      setLane(num, l, p);
      setLane(den, l, d);
      wantQ[l] = p / d;
      if (++l < kLanes) continue;
      const sw::LaneCx q = num / den;
      for (int m = 0; m < kLanes; ++m)
        EXPECT_TRUE(sw::test::sameValue(wantQ[m], lane(q, m))) << "lane " << m;
      l = 0;
    }
}

}  // namespace

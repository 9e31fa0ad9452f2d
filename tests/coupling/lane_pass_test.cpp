// The fused lane pass against the plain pass (keep the previous iterate, sweep the odd
// and then the even strips, relax, measure) on random strips, random interface
// parameters and a random state: every edge array and both sums bit for bit, pass after
// pass, also when displacements or parameters stop being finite and the vertical
// multipliers have to be kept.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "coupling/change.hpp"
#include "coupling/lane_pass.hpp"
#include "coupling/relaxation.hpp"
#include "coupling/sweep.hpp"
#include "strip/factor_strip.hpp"
#include "strip/strip_system.hpp"
#include "support/strip.hpp"

namespace {

using sw::Cx;
using sw::test::Random;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

/// What to break in a grid to reach the paths that keep the vertical multipliers.
enum class Fault {
  none,
  evenPivot,     ///< a zero pivot in an even strip: its new displacements are NaN
  oddPivot,      ///< a zero pivot in an odd strip: the odd phase finds it first
  verticalBeta,  ///< a NaN interface parameter on a vertical edge inside a strip
};

struct PassCase {
  int nx, ny, passes;
  Fault fault;
};

/// The interface parameters of a run: random and purely imaginary (real part +0) on
/// interior edges, the same on both sides, zero on the boundary.
void randomParameters(sw::InterfaceParameters& beta, Random& rnd) {
  const int nx = beta.b11.l.nx(), ny = beta.b11.l.ny();
  sw::EdgeQuantity* q[3] = {&beta.b11, &beta.b12, &beta.b22};
  for (sw::EdgeQuantity* e : q) {
    for (int j = 1; j < ny; ++j)
      for (int i = 1; i <= nx; ++i) e->t(i, j) = e->b(i, j + 1) = Cx{0.0, rnd.uniform(-2.0, 2.0)};
    for (int j = 1; j <= ny; ++j)
      for (int i = 1; i < nx; ++i) e->r(i, j) = e->l(i + 1, j) = Cx{0.0, rnd.uniform(-2.0, 2.0)};
  }
}

/// A random iterate: every entry random except the ghost frame, the inner vertical
/// multipliers (+0) and the r pairs, which are the l pairs of the next element.
sw::EdgeFields randomFields(int nx, int ny, Random& rnd) {
  sw::EdgeFields f(nx, ny);
  for (sw::Grid<Cx>* g : f.arrays())
    for (int j = 1; j <= ny; ++j)
      for (int i = 1; i <= nx; ++i) (*g)(i, j) = rnd.cx(-1.0, 1.0);
  for (int j = 1; j <= ny; ++j)
    for (int i = 1; i <= nx; ++i) {
      if (i > 1) f.lag1.l(i, j) = f.lag2.l(i, j) = Cx{};
      if (i < nx) {
        f.lag1.r(i, j) = f.lag2.r(i, j) = Cx{};
        f.u1.r(i, j) = f.u1.l(i + 1, j);
        f.u2.r(i, j) = f.u2.l(i + 1, j);
      }
    }
  return f;
}

/// Hands the parameters of every interior edge of `beta` to `sink`, as
/// interfaceParameters would.
void feed(const sw::InterfaceParameters& beta, sw::EdgeParameterSink& sink) {
  const int nx = beta.b11.l.nx(), ny = beta.b11.l.ny();
  for (int j = 1; j <= ny; ++j)
    for (int i = 1; i <= nx; ++i) {
      if (i > 1) sink.vertical(i, j, {beta.b11.l(i, j), beta.b12.l(i, j), beta.b22.l(i, j)});
      if (j > 1) sink.horizontal(i, j, {beta.b11.b(i, j), beta.b12.b(i, j), beta.b22.b(i, j)});
    }
}

/// The lane parameters of `beta`, the vertical ones kept when `vertical`.
void takeParameters(const sw::InterfaceParameters& beta, bool vertical, sw::LaneBetas& lanes) {
  lanes.begin(vertical);
  feed(beta, lanes);
}

bool sameArrays(const sw::EdgeFields& a, const sw::EdgeFields& b, int& which) {
  const auto x = a.arrays(), y = b.arrays();
  for (std::size_t k = 0; k < x.size(); ++k) {
    for (std::size_t e = 0; e < x[k]->size(); ++e) {
      const Cx p = x[k]->data()[e], q = y[k]->data()[e];
      const bool same = sw::test::sameValue(p, q);
      if (!same) {
        which = static_cast<int>(k);
        return false;
      }
    }
  }
  return true;
}


class LanePassTest : public ::testing::TestWithParam<PassCase> {};

TEST_P(LanePassTest, EveryPassMatchesThePlainPassBitForBit) {
  const PassCase c = GetParam();
  Random rnd(static_cast<std::uint64_t>(31 * c.nx + c.ny + 1000 * static_cast<int>(c.fault)));
  sw::StripSystem sys(c.nx, c.ny, 7.5);
  randomParameters(sys.beta, rnd);
  if (c.fault == Fault::verticalBeta)
    sys.beta.b22.r(1, c.ny).im = sys.beta.b22.l(2, c.ny).im = kNaN;

  // One random band per strip, shared by the scalar factors and the lane groups.
  std::vector<sw::BandMatrix> bands;
  for (int s = 1; s <= c.ny; ++s) bands.push_back(sw::test::randomStrip(c.nx, rnd));
  const int broken = c.fault == Fault::evenPivot ? 2 : c.fault == Fault::oddPivot ? 3 : 0;
  if (broken > 0 && broken <= c.ny) bands[broken - 1](1, 8) = Cx{};
  sw::StripFactors factors(c.nx, c.ny);
  for (int s = 1; s <= c.ny; ++s) sw::factorStrip(s, bands[s - 1], factors);

  const sw::StripGroups groups(c.ny);
  sw::LaneFactors laneFactors(c.nx, groups.count[0] + groups.count[1]);
  for (int p = 0; p < 2; ++p)
    for (int g = 0; g < groups.count[p]; ++g) {
      const sw::BandMatrix* lanes[sw::kLanes];
      for (int l = 0; l < sw::kLanes; ++l) {
        const int s = sw::StripGroups::strip(p, g, l);
        lanes[l] = &bands[(s <= c.ny ? s : 1) - 1];
      }
      sw::factorLanes(c.nx, lanes, laneFactors.block(p == 0 ? g : groups.count[0] + g));
    }
  sw::EdgeFields cur = randomFields(c.nx, c.ny, rnd), prev(c.nx, c.ny);
  sw::LaneFields lanes(c.nx, c.ny);
  ASSERT_TRUE(lanes.importFrom(cur));
  sw::LaneBetas laneBeta(c.nx, c.ny);
  takeParameters(sys.beta, false, laneBeta);
  if (!laneBeta.verticalClean()) {
    lanes.keepVertical();
    takeParameters(sys.beta, true, laneBeta);
  }

  const sw::PointSource src{1 + c.ny % 3, (c.nx + 1) / 2, c.ny, Cx{0.75, -2.0}};
  sw::LaneSystem ls;
  ls.factors = &laneFactors;
  ls.beta = &laneBeta;
  ls.del = &sys.del;
  ls.h = sys.h;
  ls.src = src;
  std::vector<sw::StripWork> work(2, sw::StripWork(c.nx));
  sw::LanePass pass(c.nx, c.ny, 2);
  sw::ChangeTerms terms;

  for (int k = 1; k <= c.passes; ++k) {
    sw::savePreviousIterate(cur, prev);
    sw::sweepStrips(sys, factors, src, cur, work);
    sw::relax(cur, prev);
    const sw::Change want = sw::measureChange(cur, prev, terms, 1);

    switch (pass.run(lanes, ls, true)) {
      case sw::LanePassResult::done:
        break;
      case sw::LanePassResult::again:
        lanes.keepVertical();
        takeParameters(sys.beta, true, laneBeta);
        ASSERT_EQ(pass.run(lanes, ls, true), sw::LanePassResult::done);
        break;
      case sw::LanePassResult::finishVertical:
        takeParameters(sys.beta, true, laneBeta);
        pass.finishVertical(lanes, laneBeta);
        break;
    }

    sw::EdgeFields got(c.nx, c.ny);
    lanes.exportTo(got);
    int which = -1;
    ASSERT_TRUE(sameArrays(cur, got, which)) << "pass " << k << ", array " << which;
    EXPECT_TRUE(sw::test::sameValue(want.errnum, pass.sums().errnum)) << "pass " << k;
    EXPECT_TRUE(sw::test::sameValue(want.errden, pass.sums().errden)) << "pass " << k;
  }
  if (c.fault != Fault::none) EXPECT_TRUE(lanes.keepsVertical());
}

std::string caseName(const ::testing::TestParamInfo<PassCase>& info) {
  static const char* const kFault[] = {"", "_even_pivot", "_odd_pivot", "_vertical_beta"};
  return std::to_string(info.param.nx) + "x" + std::to_string(info.param.ny) +
         kFault[static_cast<int>(info.param.fault)];
}

INSTANTIATE_TEST_SUITE_P(
    Grids, LanePassTest,
    ::testing::Values(PassCase{5, 7, 4, Fault::none}, PassCase{3, 16, 3, Fault::none},
                      PassCase{1, 9, 3, Fault::none}, PassCase{4, 1, 3, Fault::none},
                      PassCase{6, 2, 3, Fault::none}, PassCase{4, 11, 4, Fault::evenPivot},
                      PassCase{4, 11, 4, Fault::oddPivot}, PassCase{5, 6, 3, Fault::verticalBeta}),
    caseName);

}  // namespace

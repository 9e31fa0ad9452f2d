// The carried state: a relaxed pass reads the edge fields only through the Robin data on
// the even side of the interior horizontal edges.

#include "coupling/carried_state.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/constants.hpp"
#include "core/frequency.hpp"
#include "coupling/relaxation.hpp"
#include "coupling/sweep.hpp"
#include "strip/assemble_strip.hpp"
#include "support/layered_model.hpp"

namespace {

using sw::Cx;
using sw::EdgeFields;

/// Largest difference of two carried states relative to the largest entry of `b`.
double relativeDifference(const std::vector<Cx>& a, const std::vector<Cx>& b) {
  double diff = 0.0, size = 0.0;
  for (std::size_t k = 0; k < a.size(); ++k) {
    diff = std::max(diff, sw::abs(a[k] - b[k]));
    size = std::max(size, sw::abs(b[k]));
  }
  return diff / size;
}

/// One frequency of the layered model with its strips factored, and relaxed passes.
struct OneFrequency {
  static constexpr int nx = 7, ny = 6;
  sw::test::LayeredModel model{nx, ny};
  sw::StripSystem sys{nx, ny, model.par.h};
  sw::StripFactors factors{nx, ny};
  std::vector<sw::StripWork> work{1, sw::StripWork(nx)};
  sw::PointSource src{model.par.kdel, model.par.jsou, model.par.ksou, model.sour(1)};
  sw::CarriedState state{nx, ny};

  OneFrequency() {
    sys.setFrequency(1, sw::frequencyOfIndex(1, model.par.delf) * sw::kTwoPi, model.tabled);
    for (int k = 1; k <= ny; ++k) sw::assembleStrip(k, sys, work[0], factors);
  }

  void pass(EdgeFields& f) {
    const EdgeFields before = f;
    sw::sweepStrips(sys, factors, src, f, work);
    sw::relax(f, before);
  }
  EdgeFields after(int passes) {
    EdgeFields f(nx, ny);
    for (int k = 0; k < passes; ++k) pass(f);
    return f;
  }
  std::vector<Cx> carried(const EdgeFields& f) const {
    std::vector<Cx> x(state.size());
    state.extract(f, sys.beta, x.data(), 1);
    return x;
  }
};

TEST(CarriedState, TwoComponentsPerInteriorHorizontalEdge) {
  EXPECT_EQ(sw::CarriedState(7, 6).size(), 2u * 7 * 5);
  EXPECT_EQ(sw::CarriedState(600, 600).size(), 2u * 600 * 599);
  EXPECT_EQ(sw::CarriedState(9, 1).size(), 0u);
}

TEST(CarriedState, InsertThenExtractGivesTheStateBack) {
  OneFrequency m;
  std::vector<Cx> x(m.state.size());
  for (std::size_t k = 0; k < x.size(); ++k)
    x[k] = Cx{0.25 * static_cast<double>(k), -1.0 / static_cast<double>(k + 1)};
  EdgeFields f = m.after(4);
  const EdgeFields before = f;
  m.state.insert(x.data(), m.sys.beta, f, 1);
  EXPECT_LT(relativeDifference(m.carried(f), x), 1e-14);
  // Only the multipliers on the even side of the horizontal edges changed.
  for (int j = 1; j <= OneFrequency::ny; ++j)
    for (int i = 1; i <= OneFrequency::nx; ++i) {
      EXPECT_EQ(f.u1.t(i, j), before.u1.t(i, j));
      EXPECT_EQ(f.u2.b(i, j), before.u2.b(i, j));
      EXPECT_EQ(f.lag1.l(i, j), before.lag1.l(i, j));
      const bool tEven = j % 2 == 0 && j < OneFrequency::ny;
      const bool bEven = j % 2 == 0 && j > 1;
      EXPECT_EQ(f.lag1.t(i, j) == before.lag1.t(i, j), !tEven) << i << "," << j;
      EXPECT_EQ(f.lag2.b(i, j) == before.lag2.b(i, j), !bEven) << i << "," << j;
    }
}

TEST(CarriedState, ARelaxedPassMapsTheCarriedStateAlone) {
  // Two different iterates given the same carried state make the same next carried
  // state (to rounding), and a change of the carried state changes it.
  OneFrequency m;
  EdgeFields a = m.after(5), b = m.after(2);
  ASSERT_GT(relativeDifference(m.carried(b), m.carried(a)), 1e-3);
  m.state.insert(m.carried(a).data(), m.sys.beta, b, 1);
  EdgeFields c = b;
  m.pass(a);
  m.pass(b);
  EXPECT_LT(relativeDifference(m.carried(b), m.carried(a)), 1e-12);

  std::vector<Cx> x = m.carried(c);
  x[x.size() / 2] = x[x.size() / 2] + Cx{1.0, 1.0};
  m.state.insert(x.data(), m.sys.beta, c, 1);
  m.pass(c);
  EXPECT_GT(relativeDifference(m.carried(c), m.carried(a)), 1e-6);
}

}  // namespace

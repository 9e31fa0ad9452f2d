// The carried state of the iteration: a pass reads the edge fields only through the
// Robin data of the even strips' horizontal edges.

#include "driver/interface_state.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "driver/frequency_loop.hpp"
#include "input/readata.hpp"
#include "strip/inbeta.hpp"
#include "support/layered_model.hpp"

namespace {

using sw::Cx;
using sw::EdgeFields;

bool sameBits(const EdgeFields& a, const EdgeFields& b) {
  const auto x = a.arrays();
  const auto y = b.arrays();
  for (int k = 0; k < 16; ++k)
    if (std::memcmp(x[k]->data(), y[k]->data(), x[k]->size() * sizeof(Cx)) != 0) return false;
  return true;
}

/// Largest difference of the displacements and multipliers, relative to the largest value.
double relativeDifference(const EdgeFields& a, const EdgeFields& b) {
  double diff = 0.0, size = 0.0;
  const auto x = a.arrays();
  const auto y = b.arrays();
  for (int k = 0; k < 16; ++k)
    for (std::size_t e = 0; e < x[k]->size(); ++e) {
      diff = std::max(diff, sw::abs(x[k]->data()[e] - y[k]->data()[e]));
      size = std::max(size, sw::abs(y[k]->data()[e]));
    }
  return diff / size;
}

/// A frequency of the layered model partway through its iteration.
struct Midway {
  static constexpr int nx = 7, ny = 6;
  sw::test::LayeredModel model{nx, ny};
  sw::FrequencyLoop loop{model.par, model.mat, model.sour};
  sw::Betas beta{nx, ny};
  EdgeFields start;

  Midway() {
    const double omega = 0.5 * model.par.delf * 6.283185307179586;
    loop.assemble(1, omega);
    for (int k = 0; k < 5; ++k) loop.sweep();
    start = loop.fields();
    sw::Medium med(nx, ny);
    sw::fillMedium(1, model.mat, med);
    sw::BoundaryRoots roots(nx, ny);
    sw::inbeta(nx, ny, omega, med, beta, roots);
  }

  EdgeFields sweepFrom(const EdgeFields& f) {
    loop.setFields(f);
    loop.sweep();
    return loop.fields();
  }
};

TEST(InterfaceState, TwoComponentsPerInteriorHorizontalEdge) {
  EXPECT_EQ(sw::InterfaceState(7, 6).size(), 2u * 7 * 5);
  EXPECT_EQ(sw::InterfaceState(600, 600).size(), 2u * 600 * 599);
  EXPECT_EQ(sw::InterfaceState(9, 1).size(), 0u);
}

TEST(InterfaceState, ScatterThenGatherGivesTheStateBack) {
  Midway m;
  sw::InterfaceState state(Midway::nx, Midway::ny);
  std::vector<Cx> g(state.size()), back(state.size());
  for (std::size_t k = 0; k < g.size(); ++k)
    g[k] = Cx{0.25 * static_cast<double>(k), -1.0 / static_cast<double>(k + 1)};
  EdgeFields f = m.start;
  state.scatter(g.data(), f, 1);
  state.gather(f, m.beta, back.data(), 1);
  EXPECT_EQ(std::memcmp(g.data(), back.data(), g.size() * sizeof(Cx)), 0);
}

TEST(InterfaceState, APassReadsNothingButTheState) {
  Midway m;
  const EdgeFields next = m.sweepFrom(m.start);

  // Everything outside the state changed: odd rows, the even rows' vertical-edge
  // displacements.  (The vertical-edge multipliers are read too, but a run keeps them
  // zero: the run invariants test.)
  EdgeFields changed = m.start;
  for (int j = 1; j <= Midway::ny; ++j)
    for (int i = 1; i <= Midway::nx; ++i)
      for (sw::EdgeQuantity* q : {&changed.u1, &changed.u2, &changed.lag1, &changed.lag2}) {
        const bool odd = j % 2 == 1;
        if (odd) q->t(i, j) = q->b(i, j) = Cx{3.0 * i, -1.0 * j};
        if (q == &changed.u1 || q == &changed.u2) q->l(i, j) = q->r(i, j) = Cx{-2.0, 5.0 * i};
      }
  EXPECT_TRUE(sameBits(m.sweepFrom(changed), next));

  // The even side's displacement and multiplier replaced by (0, beta u + lambda).
  sw::InterfaceState state(Midway::nx, Midway::ny);
  std::vector<Cx> g(state.size());
  state.gather(m.start, m.beta, g.data(), 1);
  EdgeFields robin = m.start;
  state.scatter(g.data(), robin, 1);
  EXPECT_FALSE(sameBits(robin, m.start));
  EXPECT_LT(relativeDifference(m.sweepFrom(robin), next), 1e-13);

  // While a change of the state changes the pass.
  g[g.size() / 2] = g[g.size() / 2] + Cx{1.0, 1.0};
  state.scatter(g.data(), robin, 1);
  EXPECT_GT(relativeDifference(m.sweepFrom(robin), next), 1e-6);
}

}  // namespace

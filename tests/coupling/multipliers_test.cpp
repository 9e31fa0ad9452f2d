#include "coupling/multipliers.hpp"

#include <gtest/gtest.h>

#include <random>

#include "coupling/edge_fields.hpp"
#include "strip/interface_parameters.hpp"

namespace sw {
namespace {

/// Random complex value with parts in [-1, 1).
Cx randomCx(std::mt19937& gen) {
  std::uniform_real_distribution<double> d(-1.0, 1.0);
  const double re = d(gen);
  return Cx{re, d(gen)};
}

/// Interface parameters as the strip routines leave them: equal on both sides of every
/// interior edge, zero on the outer boundary.
InterfaceParameters randomBetas(int nx, int ny, std::mt19937& gen) {
  InterfaceParameters beta(nx, ny);
  for (EdgeQuantity* e : {&beta.b11, &beta.b12, &beta.b22}) {
    for (int j = 1; j <= ny; ++j)
      for (int i = 1; i < nx; ++i) e->r(i, j) = e->l(i + 1, j) = randomCx(gen);
    for (int j = 1; j < ny; ++j)
      for (int i = 1; i <= nx; ++i) e->t(i, j) = e->b(i, j + 1) = randomCx(gen);
  }
  return beta;
}

/// Random displacements on the grid's edges; the ghost frame stays zero.  With
/// `shared` the r pair of element i equals the l pair of element i+1, as a strip
/// solve stores them.
void randomDisplacements(EdgeFields& cur, int nx, int ny, bool shared, std::mt19937& gen) {
  for (EdgeQuantity* u : {&cur.u1, &cur.u2}) {
    for (int j = 1; j <= ny; ++j) {
      for (int i = 1; i <= nx; ++i) {
        u->l(i, j) = (shared && i > 1) ? u->r(i - 1, j) : randomCx(gen);
        u->t(i, j) = randomCx(gen);
        u->b(i, j) = randomCx(gen);
        u->r(i, j) = randomCx(gen);
      }
    }
  }
}

/// One pass of multiplier updates in the driver's odd/even order.
void sweep(int nx, int ny, const InterfaceParameters& beta, EdgeFields& cur) {
  for (int s = 1; s <= ny; s += 2) updateMultipliers(s, beta, cur);
  for (int s = 2; s <= ny; s += 2) updateMultipliers(s, beta, cur);
}

TEST(UpdateMultipliers, VerticalEdgeMultipliersStayZeroWhenStripEdgesAreShared) {
  const int nx = 5, ny = 4;
  std::mt19937 gen(11);
  const InterfaceParameters beta = randomBetas(nx, ny, gen);
  EdgeFields cur(nx, ny);
  for (int pass = 0; pass < 3; ++pass) {
    randomDisplacements(cur, nx, ny, /*shared=*/true, gen);
    sweep(nx, ny, beta, cur);
  }
  for (int j = 0; j <= ny + 1; ++j) {
    for (int i = 0; i <= nx + 1; ++i) {
      EXPECT_EQ(cur.lag1.l(i, j), Cx{}) << i << "," << j;
      EXPECT_EQ(cur.lag1.r(i, j), Cx{}) << i << "," << j;
      EXPECT_EQ(cur.lag2.l(i, j), Cx{}) << i << "," << j;
      EXPECT_EQ(cur.lag2.r(i, j), Cx{}) << i << "," << j;
    }
  }
  // The horizontal interfaces do carry information.
  EXPECT_FALSE(cur.lag1.t(2, 1) == Cx{});
}

TEST(UpdateMultipliers, OuterBoundaryMultipliersStayZero) {
  const int nx = 4, ny = 3;
  std::mt19937 gen(12);
  const InterfaceParameters beta = randomBetas(nx, ny, gen);
  EdgeFields cur(nx, ny);
  for (int pass = 0; pass < 3; ++pass) {
    // Unshared vertical edges: interior vertical multipliers become nonzero, the outer
    // ones must not.
    randomDisplacements(cur, nx, ny, /*shared=*/false, gen);
    sweep(nx, ny, beta, cur);
  }
  for (int j = 1; j <= ny; ++j) {
    for (const EdgeQuantity* g : {&cur.lag1, &cur.lag2}) {
      EXPECT_EQ(g->l(1, j), Cx{}) << j;
      EXPECT_EQ(g->r(nx, j), Cx{}) << j;
    }
  }
  for (int i = 1; i <= nx; ++i) {
    for (const EdgeQuantity* g : {&cur.lag1, &cur.lag2}) {
      EXPECT_EQ(g->b(i, 1), Cx{}) << i;
      EXPECT_EQ(g->t(i, ny), Cx{}) << i;
    }
  }
  EXPECT_FALSE(cur.lag1.r(2, 2) == Cx{});
}

TEST(UpdateMultipliers, SingleStripLeavesEveryMultiplierZero) {
  const int nx = 3, ny = 1;
  std::mt19937 gen(13);
  const InterfaceParameters beta = randomBetas(nx, ny, gen);
  EdgeFields cur(nx, ny);
  randomDisplacements(cur, nx, ny, /*shared=*/true, gen);
  updateMultipliers(1, beta, cur);
  for (int i = 1; i <= nx; ++i) {
    for (const EdgeQuantity* g : {&cur.lag1, &cur.lag2}) {
      EXPECT_EQ(g->l(i, 1), Cx{});
      EXPECT_EQ(g->t(i, 1), Cx{});
      EXPECT_EQ(g->b(i, 1), Cx{});
      EXPECT_EQ(g->r(i, 1), Cx{});
    }
  }
}

TEST(UpdateMultipliers, WorkedTopEdgeUpdate) {
  const int nx = 1, ny = 2;
  InterfaceParameters beta(nx, ny);
  beta.b11.t(1, 1) = beta.b11.b(1, 2) = Cx{0.0, 2.0};
  EdgeFields cur(nx, ny);
  cur.u1.t(1, 1) = Cx{1.5, 0.0};
  cur.u1.b(1, 2) = Cx{0.5, 0.0};
  cur.u2.t(1, 1) = Cx{0.25, -1.0};
  cur.u2.b(1, 2) = Cx{0.25, -1.0};
  cur.lag1.b(1, 2) = Cx{0.5, 0.0};
  updateMultipliers(1, beta, cur);
  EXPECT_EQ(cur.lag1.t(1, 1), (Cx{-0.5, 2.0}));
  // Second component: beta12 and beta22 vanish, only the neighbour is subtracted.
  EXPECT_EQ(cur.lag2.t(1, 1), Cx{});
}

TEST(UpdateMultipliers, ConvergedInterfaceBalancesTheMultipliers) {
  const int nx = 4, ny = 2;
  std::mt19937 gen(14);
  const InterfaceParameters beta = randomBetas(nx, ny, gen);
  EdgeFields cur(nx, ny);
  randomDisplacements(cur, nx, ny, /*shared=*/true, gen);
  for (int i = 1; i <= nx; ++i) {
    cur.u1.b(i, 2) = cur.u1.t(i, 1);
    cur.u2.b(i, 2) = cur.u2.t(i, 1);
    cur.lag1.b(i, 2) = randomCx(gen);
    cur.lag2.b(i, 2) = randomCx(gen);
  }
  updateMultipliers(1, beta, cur);
  for (int i = 1; i <= nx; ++i) {
    EXPECT_EQ(cur.lag1.t(i, 1), -cur.lag1.b(i, 2)) << i;
    EXPECT_EQ(cur.lag2.t(i, 1), -cur.lag2.b(i, 2)) << i;
  }
}

TEST(UpdateMultipliers, LeftUpdateReadsTheRightMultiplierJustWritten) {
  const int nx = 2, ny = 1;
  InterfaceParameters beta(nx, ny);
  // One vertical interior edge with beta = identity, and an (artificial) jump of 1
  // across it in the x component.
  beta.b11.r(1, 1) = beta.b11.l(2, 1) = Cx{1.0, 0.0};
  beta.b22.r(1, 1) = beta.b22.l(2, 1) = Cx{1.0, 0.0};
  EdgeFields cur(nx, ny);
  cur.u1.r(1, 1) = Cx{1.0, 0.0};
  cur.lag1.r(1, 1) = Cx{7.0, 0.0};   // stale value, must not be read by element 2
  cur.lag1.l(2, 1) = Cx{0.25, 0.0};  // read by element 1 as it was before the call
  updateMultipliers(1, beta, cur);
  EXPECT_EQ(cur.lag1.r(1, 1), (Cx{0.75, 0.0}));
  EXPECT_EQ(cur.lag1.l(2, 1), (Cx{-1.75, 0.0}));
}

TEST(UpdateMultipliers, BetaRowsPairWithTheirComponents) {
  // x multiplier from (b11, b12), y multiplier from (b12, b22), on the bottom edge of
  // strip 2 against the top edge of strip 1.
  const int nx = 1, ny = 2;
  InterfaceParameters beta(nx, ny);
  beta.b11.b(1, 2) = beta.b11.t(1, 1) = Cx{2.0, 0.0};
  beta.b12.b(1, 2) = beta.b12.t(1, 1) = Cx{0.0, 1.0};
  beta.b22.b(1, 2) = beta.b22.t(1, 1) = Cx{3.0, 0.0};
  EdgeFields cur(nx, ny);
  cur.u1.b(1, 2) = Cx{1.0, 0.0};  // x jump 1
  cur.u2.b(1, 2) = Cx{0.0, 0.0};
  cur.u2.t(1, 1) = Cx{-2.0, 0.0};  // y jump 2
  cur.lag1.t(1, 1) = Cx{0.5, 0.5};
  cur.lag2.t(1, 1) = Cx{-1.0, 0.0};
  updateMultipliers(2, beta, cur);
  EXPECT_EQ(cur.lag1.b(1, 2), (Cx{2.0 - 0.5, 2.0 - 0.5}));  // 2*1 + i*2 - (0.5 + 0.5i)
  EXPECT_EQ(cur.lag2.b(1, 2), (Cx{6.0 + 1.0, 1.0}));        // i*1 + 3*2 + 1
}

}  // namespace
}  // namespace sw

#include "coupling/multipliers.hpp"

#include <gtest/gtest.h>

#include "coupling/edge_fields.hpp"
#include "strip/interface_parameters.hpp"

#include "support/numbers.hpp"

namespace sw::test {
namespace {

/// Interface parameters as the strip routines leave them: equal on both sides of every
/// interior edge, zero on the outer boundary.
InterfaceParameters randomBetas(int nx, int ny, Random& rnd) {
  InterfaceParameters beta(nx, ny);
  for (EdgeQuantity* e : {&beta.b11, &beta.b12, &beta.b22}) {
    for (int j = 1; j <= ny; ++j)
      for (int i = 1; i < nx; ++i) e->r(i, j) = e->l(i + 1, j) = rnd.cx();
    for (int j = 1; j < ny; ++j)
      for (int i = 1; i <= nx; ++i) e->t(i, j) = e->b(i, j + 1) = rnd.cx();
  }
  return beta;
}

/// Random displacements on the grid's edges; the ghost frame stays zero.  With
/// `shared` the r pair of element i equals the l pair of element i+1, as a strip
/// solve stores them.
void randomDisplacements(EdgeFields& cur, int nx, int ny, bool shared, Random& rnd) {
  for (EdgeQuantity* u : {&cur.u1, &cur.u2}) {
    for (int j = 1; j <= ny; ++j) {
      for (int i = 1; i <= nx; ++i) {
        u->l(i, j) = (shared && i > 1) ? u->r(i - 1, j) : rnd.cx();
        u->t(i, j) = rnd.cx();
        u->b(i, j) = rnd.cx();
        u->r(i, j) = rnd.cx();
      }
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
  Random rnd(14);
  const InterfaceParameters beta = randomBetas(nx, ny, rnd);
  EdgeFields cur(nx, ny);
  randomDisplacements(cur, nx, ny, /*shared=*/true, rnd);
  for (int i = 1; i <= nx; ++i) {
    cur.u1.b(i, 2) = cur.u1.t(i, 1);
    cur.u2.b(i, 2) = cur.u2.t(i, 1);
    cur.lag1.b(i, 2) = rnd.cx();
    cur.lag2.b(i, 2) = rnd.cx();
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
}  // namespace sw::test

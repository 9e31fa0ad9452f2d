#include "strip/interface_parameters.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "strip/matrix_sqrt.hpp"
#include "support/strip.hpp"

namespace sw::test {
namespace {

/// Root of (a11 a12; a12 a22) by a fresh matrixSqrt call.
void freshRoot(double a11, double a12, double a22, double r[3]) {
  const double a[4] = {a11, a12, a12, a22};
  double x[4];
  matrixSqrt(2, a, x);
  r[0] = x[0];
  r[1] = x[1];
  r[2] = x[3];
}

/// The interface parameters computed step by step as described, every root fresh.
void referenceInterfaceParameters(int nx, int ny, double omega, const Medium& med,
                                  InterfaceParameters& beta, BoundaryRoots& roots) {
  double r[3], ra[3], rb[3];
  auto rx = [&](int i, int j, double* out) {
    freshRoot(med.p11(i, j).re, med.p15(i, j).re, med.p55(i, j).re, out);
  };
  auto ry = [&](int i, int j, double* out) {
    freshRoot(med.p55(i, j).re, med.p35(i, j).re, med.p33(i, j).re, out);
  };
  auto put = [&](RootVectors& v, int k) {
    v.r11(k) = r[0];
    v.r12(k) = r[1];
    v.r22(k) = r[2];
  };
  auto edge = [&](Grid<Cx>& b11, Grid<Cx>& b12, Grid<Cx>& b22, int i, int j, double rhoP,
                  double rhoQ) {
    const double s = ((std::sqrt(rhoP) + std::sqrt(rhoQ)) * 0.5) * 0.5;
    b11(i, j) = Cx{0.0, (ra[0] + rb[0]) * s * omega};
    b22(i, j) = Cx{0.0, (ra[2] + rb[2]) * s * omega};
    b12(i, j) = Cx{0.0, (ra[1] + rb[1]) * s * omega};
  };
  for (int j = 1; j <= ny; ++j) rx(1, j, r), put(roots.xl, j);
  for (int j = 1; j <= ny; ++j) rx(nx, j, r), put(roots.xr, j);
  for (int i = 1; i <= nx; ++i) ry(i, 1, r), put(roots.yb, i);
  for (int i = 1; i <= nx; ++i) ry(i, ny, r), put(roots.yt, i);
  for (int i = 1; i <= nx - 1; ++i)
    for (int j = 1; j <= ny; ++j) {
      rx(i, j, ra), rx(i + 1, j, rb);
      edge(beta.b11.l, beta.b12.l, beta.b22.l, i + 1, j, med.rho(i, j), med.rho(i + 1, j));
    }
  for (int i = 1; i <= nx - 1; ++i)
    for (int j = 1; j <= ny; ++j) {
      rx(i + 1, j, ra), rx(i, j, rb);
      edge(beta.b11.r, beta.b12.r, beta.b22.r, i, j, med.rho(i + 1, j), med.rho(i, j));
    }
  for (int i = 1; i <= nx; ++i)
    for (int j = 2; j <= ny; ++j) {
      ry(i, j - 1, ra), ry(i, j, rb);
      edge(beta.b11.b, beta.b12.b, beta.b22.b, i, j, med.rho(i, j - 1), med.rho(i, j));
    }
  for (int i = 1; i <= nx; ++i)
    for (int j = 1; j <= ny - 1; ++j) {
      ry(i, j + 1, ra), ry(i, j, rb);
      edge(beta.b11.t, beta.b12.t, beta.b22.t, i, j, med.rho(i, j + 1), med.rho(i, j));
    }
}

/// Same bits in every interface parameter and boundary root.
void expectSameResults(const InterfaceParameters& b1, const BoundaryRoots& r1,
                       const InterfaceParameters& b2, const BoundaryRoots& r2) {
  for (const auto m :
       {&InterfaceParameters::b11, &InterfaceParameters::b12, &InterfaceParameters::b22})
    for (const Edge e : kEdges) EXPECT_TRUE(sameBits((b1.*m)[e], (b2.*m)[e]));
  for (const auto side :
       {&BoundaryRoots::xl, &BoundaryRoots::xr, &BoundaryRoots::yb, &BoundaryRoots::yt})
    for (const auto entry : {&RootVectors::r11, &RootVectors::r12, &RootVectors::r22}) {
      const Vec1<double>& v1 = (r1.*side).*entry;
      const Vec1<double>& v2 = (r2.*side).*entry;
      for (int k = 0; k <= v1.size() + 1; ++k) EXPECT_TRUE(sameBits(v1(k), v2(k))) << k;
    }
}

TEST(MatrixSqrt, DiagonalFourNineStopsWhereTheIterationSettles) {
  // The fixed point stops once no entry moves by 1e-10: the 4 entry is still 3.6e-11
  // away from 2 then, while the 9 entry has reached 3 exactly.
  const double a[4] = {4.0, 0.0, 0.0, 9.0};
  double x[4];
  matrixSqrt(2, a, x);
  char text[32];
  std::snprintf(text, sizeof text, "%.16g", x[0]);
  EXPECT_EQ(std::string("1.999999999964425"), text);
  EXPECT_EQ(3.0, x[3]);
  EXPECT_EQ(0.0, x[1]);
  EXPECT_EQ(0.0, x[2]);
}

TEST(MatrixSqrt, StiffnessSizedMatricesSquareBackToA) {
  Random rnd(31);
  for (int trial = 0; trial < 50; ++trial) {
    const double a11 = rnd.uniform(1e9, 5e10), a22 = rnd.uniform(1e9, 5e10);
    const double a12 = rnd.uniform(-0.9, 0.9) * std::sqrt(a11 * a22);
    const double a[4] = {a11, a12, a12, a22};
    double x[4];
    matrixSqrt(2, a, x);
    EXPECT_TRUE(sameBits(x[1], x[2]));
    EXPECT_GT(x[0], 0.0);
    EXPECT_GT(x[3], 0.0);
    const double scale = std::max(a11, a22);
    EXPECT_NEAR(x[0] * x[0] + x[1] * x[2], a11, kRelTol * scale);
    EXPECT_NEAR(x[0] * x[1] + x[1] * x[3], a12, kRelTol * scale);
    EXPECT_NEAR(x[2] * x[1] + x[3] * x[3], a22, kRelTol * scale);
  }
}

TEST(MatrixSqrt, UndefinedOrSingularInputEndsWithNotANumber) {
  // The change never falls below the bound: the iteration stops at its pass limit.
  const double zero[4] = {0.0, 0.0, 0.0, 0.0};
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double undefined[4] = {4.0, 0.0, 0.0, nan};
  double x[4];
  matrixSqrt(2, zero, x);
  EXPECT_TRUE(std::isnan(x[0]));
  matrixSqrt(2, undefined, x);
  EXPECT_TRUE(std::isnan(x[3]));
}

TEST(RootCache, ReturnsExactlyWhatMatrixSqrtReturns) {
  Random rnd(32);
  RootCache cache;
  std::vector<std::array<double, 3>> keys;
  for (int q = 0; q < 600; ++q)  // more keys than slots, so entries get replaced
    keys.push_back({rnd.uniform(1e9, 3e10), rnd.uniform(-1e9, 1e9), rnd.uniform(1e9, 3e10)});
  for (int pass = 0; pass < 2; ++pass)
    for (const auto& k : keys) {
      const Root2 got = cache.root(k[0], k[1], k[2]);
      double want[3];
      freshRoot(k[0], k[1], k[2], want);
      EXPECT_TRUE(sameBits(got.r11, want[0]) && sameBits(got.r12, want[1]) &&
                  sameBits(got.r22, want[2]));
    }
  // Signed zeros are different inputs.
  const Root2 plus = cache.root(4.0, 0.0, 9.0);
  const Root2 minus = cache.root(4.0, -0.0, 9.0);
  double want[3];
  freshRoot(4.0, -0.0, 9.0, want);
  EXPECT_TRUE(sameBits(minus.r12, want[1]));
  EXPECT_TRUE(sameBits(plus.r11, want[0]));
}

TEST(InterfaceParameters, MemoisedEqualsFreshComputationBitForBit) {
  Random rnd(33);
  struct Case {
    int nx, ny, materials, threads;
  };
  // Several threads take the rows in runs of blocks of kRowBlock: runs that start inside
  // the grid, a short last block, more threads than blocks.
  for (const Case c : {Case{9, 7, 3, 1}, Case{1, 5, 2, 1}, Case{6, 1, 2, 1}, Case{1, 1, 1, 1},
                       Case{24, 20, 400, 1}, Case{24, 20, 400, 2}, Case{7, 3 * kRowBlock + 5, 6, 3},
                       Case{3, 2 * kRowBlock, 4, 5}}) {
    std::vector<Material> mats;
    for (int q = 0; q < c.materials; ++q) mats.push_back(randomMaterial(rnd));
    const Medium med = randomMedium(c.nx, c.ny, mats, rnd);
    const double omega = rnd.uniform(1.0, 300.0);
    InterfaceParameters b1(c.nx, c.ny), b2(c.nx, c.ny);
    BoundaryRoots r1(c.nx, c.ny), r2(c.nx, c.ny);
    interfaceParameters(omega, med, b1, r1, c.threads);
    referenceInterfaceParameters(c.nx, c.ny, omega, med, b2, r2);
    expectSameResults(b1, r1, b2, r2);
  }
}

TEST(InterfaceParameters, ATractionFreeTopKeepsZeroRootsThereAndChangesNothingElse) {
  Random rnd(35);
  std::vector<Material> mats;
  for (int q = 0; q < 4; ++q) mats.push_back(randomMaterial(rnd));
  const int nx = 7, ny = 2 * kRowBlock + 3;
  const Medium med = randomMedium(nx, ny, mats, rnd);
  InterfaceParameters absorbing(nx, ny), free(nx, ny);
  BoundaryRoots ra(nx, ny), rf(nx, ny);
  rf.tractionFreeTop = true;
  interfaceParameters(120.0, med, absorbing, ra, 2);
  interfaceParameters(120.0, med, free, rf, 2);
  for (int i = 1; i <= nx; ++i) {
    EXPECT_NE(ra.yt.r11(i), 0.0);
    EXPECT_EQ(rf.yt.r11(i), 0.0);
    EXPECT_EQ(rf.yt.r12(i), 0.0);
    EXPECT_EQ(rf.yt.r22(i), 0.0);
  }
  rf.yt = ra.yt;
  expectSameResults(free, rf, absorbing, ra);
}

TEST(InterfaceParameters, IsotropicEdgesBetweenEqualElements) {
  const double rho = 2000.0, vp = 3000.0, vs = 1500.0, omega = 150.0;
  const double pm = rho * vp * vp, g = rho * vs * vs;
  const int nx = 4, ny = 3;
  Medium med(nx, ny);
  for (int j = 0; j <= ny + 1; ++j)
    for (int i = 0; i <= nx + 1; ++i) setElement(med, i, j, isotropic(rho, pm, g));
  InterfaceParameters beta(nx, ny);
  BoundaryRoots roots(nx, ny);
  interfaceParameters(omega, med, beta, roots);

  const double vertical = omega * std::sqrt(rho) * std::sqrt(pm);
  const double vertical22 = omega * std::sqrt(rho) * std::sqrt(g);
  const double tol = kRelTol * vertical;
  for (int j = 1; j <= ny; ++j)
    for (int i = 2; i <= nx; ++i) {
      EXPECT_NEAR(beta.b11.l(i, j).im, vertical, tol);
      EXPECT_NEAR(beta.b22.l(i, j).im, vertical22, tol);
      EXPECT_NEAR(beta.b11.r(i - 1, j).im, vertical, tol);
    }
  for (int j = 2; j <= ny; ++j)
    for (int i = 1; i <= nx; ++i) {
      EXPECT_NEAR(beta.b11.b(i, j).im, vertical22, tol);  // omega sqrt(rho) sqrt(mu)
      EXPECT_NEAR(beta.b22.b(i, j).im, vertical, tol);
      EXPECT_NEAR(beta.b11.t(i, j - 1).im, vertical22, tol);
    }
  // Real parts are exactly zero and the off-diagonal entry vanishes everywhere.
  const EdgeQuantity* all[3] = {&beta.b11, &beta.b12, &beta.b22};
  for (const EdgeQuantity* q : all)
    for (const Grid<Cx>* gd : {&q->l, &q->r, &q->b, &q->t})
      for (int j = 0; j <= ny + 1; ++j)
        for (int i = 0; i <= nx + 1; ++i) EXPECT_TRUE(sameBits((*gd)(i, j).re, 0.0));
  for (const Grid<Cx>* gd : {&beta.b12.l, &beta.b12.r, &beta.b12.b, &beta.b12.t})
    for (int j = 0; j <= ny + 1; ++j)
      for (int i = 0; i <= nx + 1; ++i) EXPECT_TRUE(sameBits((*gd)(i, j).im, 0.0));
  // Boundary roots: diag(sqrt(lambda + 2 mu), sqrt(mu)) for x, the reverse for y.
  for (int j = 1; j <= ny; ++j) {
    EXPECT_NEAR(roots.xl.r11(j), std::sqrt(pm), kRelTol * std::sqrt(pm));
    EXPECT_NEAR(roots.xr.r22(j), std::sqrt(g), kRelTol * std::sqrt(pm));
    EXPECT_EQ(0.0, roots.xl.r12(j));
  }
  for (int i = 1; i <= nx; ++i) {
    EXPECT_NEAR(roots.yb.r11(i), std::sqrt(g), kRelTol * std::sqrt(pm));
    EXPECT_NEAR(roots.yt.r22(i), std::sqrt(pm), kRelTol * std::sqrt(pm));
  }
}

/// Sets every entry of every beta array, ghost frame included, to a marker value.
void fillBetas(InterfaceParameters& beta, Cx v) {
  for (EdgeQuantity* q : {&beta.b11, &beta.b12, &beta.b22})
    for (Grid<Cx>* g : {&q->l, &q->r, &q->b, &q->t}) g->fill(v);
}

TEST(InterfaceParameters, WritesInteriorEdgesOnly) {
  Random rnd(34);
  const std::vector<Material> mats = {randomMaterial(rnd), randomMaterial(rnd)};
  const Cx marker{-7.0, -7.0};
  struct Size {
    int nx, ny;
  };
  for (const Size sz : {Size{5, 4}, Size{1, 4}, Size{5, 1}, Size{1, 1}}) {
    const int nx = sz.nx, ny = sz.ny;
    const Medium med = randomMedium(nx, ny, mats, rnd);
    InterfaceParameters beta(nx, ny);
    BoundaryRoots roots(nx, ny);
    fillBetas(beta, marker);
    interfaceParameters(80.0, med, beta, roots);
    for (const EdgeQuantity* q : {&beta.b11, &beta.b12, &beta.b22})
      for (int j = 0; j <= ny + 1; ++j)
        for (int i = 0; i <= nx + 1; ++i) {
          const bool inside = i >= 1 && i <= nx && j >= 1 && j <= ny;
          EXPECT_EQ(!(inside && i > 1), sameBits(q->l(i, j), marker)) << i << "," << j;
          EXPECT_EQ(!(inside && i < nx), sameBits(q->r(i, j), marker)) << i << "," << j;
          EXPECT_EQ(!(inside && j > 1), sameBits(q->b(i, j), marker)) << i << "," << j;
          EXPECT_EQ(!(inside && j < ny), sameBits(q->t(i, j), marker)) << i << "," << j;
        }
    // Both sides of an interior edge carry the same value.
    for (int j = 1; j <= ny; ++j)
      for (int i = 1; i < nx; ++i) EXPECT_TRUE(sameBits(beta.b11.r(i, j), beta.b11.l(i + 1, j)));
    for (int j = 1; j < ny; ++j)
      for (int i = 1; i <= nx; ++i) EXPECT_TRUE(sameBits(beta.b22.t(i, j), beta.b22.b(i, j + 1)));
    // With one element across, both sides of the boundary see the same element.
    if (nx == 1)
      for (int j = 1; j <= ny; ++j) EXPECT_TRUE(sameBits(roots.xl.r11(j), roots.xr.r11(j)));
    if (ny == 1)
      for (int i = 1; i <= nx; ++i) EXPECT_TRUE(sameBits(roots.yb.r22(i), roots.yt.r22(i)));
  }
}

TEST(ClosedFormRoot, AgreesWithTheIterationAndSquaresBackToTheMatrix) {
  struct M {
    double a11, a12, a22;
  };
  // Isotropic and turned anisotropic blocks, a stiff contrast, and fluids.
  const M cases[] = {{2.25e7, 0.0, 7.225e6}, {1.4e10, 2.1e9, 4.0e9},  {5.49, 0.698, 1.309},
                     {3.0, -1.2, 9.0},       {4.0e10, 0.0, 1.0e8},    {2.25, 0.0, 0.0},
                     {0.0, 0.0, 2.25},       {0.0, 0.0, 0.0}};
  for (const M& m : cases) {
    double r11, r12, r22;
    symmetricRoot2(m.a11, m.a12, m.a22, r11, r12, r22);
    const double scale = std::max(m.a11, m.a22);
    EXPECT_NEAR(r11 * r11 + r12 * r12, m.a11, 1e-14 * scale) << m.a11;
    EXPECT_NEAR(r11 * r12 + r12 * r22, m.a12, 1e-14 * scale) << m.a11;
    EXPECT_NEAR(r12 * r12 + r22 * r22, m.a22, 1e-14 * scale) << m.a11;
    EXPECT_GE(r11, 0.0);
    EXPECT_GE(r22, 0.0);
    if (scale == 0.0) continue;  // the iteration has no step for the zero matrix
    double fresh[3];
    freshRoot(m.a11, m.a12, m.a22, fresh);
    const double tol = 1e-9 * std::sqrt(scale) + 1e-10;
    EXPECT_NEAR(r11, fresh[0], tol);
    EXPECT_NEAR(r12, fresh[1], tol);
    EXPECT_NEAR(r22, fresh[2], tol);
  }
  // A fluid's zero shear block stays exactly zero.
  double r11, r12, r22;
  symmetricRoot2(2.25, 0.0, 0.0, r11, r12, r22);
  EXPECT_EQ(r11, 1.5);
  EXPECT_EQ(r12, 0.0);
  EXPECT_EQ(r22, 0.0);
}

TEST(ClosedFormRoot, AMediumAsksForItAndGetsItOnEveryEdge) {
  Medium med(3, 2);
  for (int j = 0; j <= 3; ++j)
    for (int i = 0; i <= 4; ++i) {
      med.rho(i, j) = 2.0 + 0.1 * i;
      med.p11(i, j) = Cx{9.0 + i, 0.0};
      med.p33(i, j) = Cx{8.0 + j, 0.0};
      med.p13(i, j) = Cx{3.0, 0.0};
      med.p55(i, j) = Cx{2.0 + 0.5 * i, 0.0};
      med.p15(i, j) = Cx{0.3, 0.0};
      med.p35(i, j) = Cx{-0.2, 0.0};
    }
  InterfaceParameters iterated(3, 2), closed(3, 2);
  BoundaryRoots ri(3, 2), rc(3, 2);
  interfaceParameters(1.5, med, iterated, ri);
  med.closedFormRoots = true;
  interfaceParameters(1.5, med, closed, rc);
  double r11, r12, r22;
  symmetricRoot2(med.p11(1, 2).re, med.p15(1, 2).re, med.p55(1, 2).re, r11, r12, r22);
  EXPECT_EQ(rc.xl.r11(2), r11);
  EXPECT_EQ(rc.xl.r12(2), r12);
  EXPECT_EQ(rc.xl.r22(2), r22);
  EXPECT_NE(rc.xl.r11(2), ri.xl.r11(2));  // not the iteration's bits
  EXPECT_NEAR(closed.b11.l(2, 1).im, iterated.b11.l(2, 1).im, 1e-9);
  EXPECT_NEAR(closed.b22.b(3, 2).im, iterated.b22.b(3, 2).im, 1e-9);
}

}  // namespace
}  // namespace sw::test

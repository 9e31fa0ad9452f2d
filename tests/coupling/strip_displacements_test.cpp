#include "coupling/strip_displacements.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "strip/assemble_strip.hpp"
#include "strip/interface_parameters.hpp"

#include "support/numbers.hpp"

namespace sw::test {
namespace {

/// A grid with a factored system for every strip: an attenuating isotropic medium
/// whose properties vary from element to element.
struct Model {
  int nx, ny;
  StripSystem sys;
  StripFactors f;
  StripWork work;
  PointSource src;

  Model(int nx_, int ny_, std::uint32_t seed)
      : nx(nx_), ny(ny_), sys(nx_, ny_, 2.5), f(nx_, ny_), work(nx_) {
    Random rnd(seed);
    Medium& med = sys.med;
    for (int j = 0; j <= ny + 1; ++j) {
      for (int i = 0; i <= nx + 1; ++i) {
        const double mu = 2.0 + rnd.uniform(0.0, 1.0), lam = 3.0 + rnd.uniform(0.0, 1.0);
        const Cx g{mu, 0.02 * mu}, p{lam + 2.0 * mu, 0.01 * (lam + 2.0 * mu)};
        med.rho(i, j) = 1.5 + rnd.uniform(0.0, 1.0);
        med.p11(i, j) = med.p33(i, j) = p;
        med.p55(i, j) = g;
        med.p13(i, j) = p - 2.0 * g;
      }
    }
    sys.omega = 1.3;
    interfaceParameters(sys.omega, med, sys.beta, sys.roots);
    for (int s = 1; s <= ny; ++s) assembleStrip(s, sys, work, f);
    src.value = rnd.cx();
  }

  std::vector<Cx> rhs(int s, const EdgeFields& cur) const {
    std::vector<Cx> r(static_cast<std::size_t>(stripUnknowns(nx)) + 1);
    stripRightHandSide(s, sys, src, cur, r.data());
    return r;
  }
  void solve(int s, EdgeFields& cur) { solveStripDisplacements(s, sys, f, src, cur, work); }
};

/// A system of nx by ny elements of side h with the given interface parameters.
StripSystem systemWith(int nx, int ny, double h, const InterfaceParameters& beta) {
  StripSystem sys(nx, ny, h);
  sys.beta = beta;
  return sys;
}

/// Random displacements and multipliers on every edge of the grid (not on the frame).
void randomFields(EdgeFields& cur, int nx, int ny, Random& rnd) {
  for (EdgeQuantity* q : {&cur.u1, &cur.u2, &cur.lag1, &cur.lag2})
    for (Grid<Cx>* g : {&q->l, &q->t, &q->b, &q->r})
      for (int j = 1; j <= ny; ++j)
        for (int i = 1; i <= nx; ++i) (*g)(i, j) = rnd.cx();
}

/// Right-hand side of a single-element strip with zero neighbours and the source on it.
std::vector<Cx> sourceOnly(int kdel, Cx sour, double h) {
  const EdgeFields cur(1, 1);
  std::vector<Cx> r(9);
  stripRightHandSide(1, StripSystem(1, 1, h), PointSource{kdel, 1, 1, sour}, cur, r.data());
  return r;
}

/// Sum of r(m) times a real test displacement v(m), m = 1 .. 8.
Cx pair(const std::vector<Cx>& r, const double* v) {
  Cx sum{};
  for (int m = 1; m <= 8; ++m) sum += v[m] * r[m];
  return sum;
}

TEST(StripRightHandSide, WorkedDivergenceSource) {
  // sour = 2, h = 2: q = 1 on element (2, 2) of a 3 by 3 grid at rest.
  const int nx = 3, ny = 3;
  const EdgeFields cur(nx, ny);
  const PointSource src{1, 2, 2, Cx{2.0, 0.0}};
  std::vector<Cx> r(stripUnknowns(nx) + 1);
  stripRightHandSide(2, StripSystem(nx, ny, 2.0), src, cur, r.data());
  for (int k = 1; k <= stripUnknowns(nx); ++k) {
    // Element 2 owns strip unknowns 7 .. 14.
    const Cx expected = (k == 7 || k == 12)    ? Cx{1e6, 0.0}
                        : (k == 10 || k == 13) ? Cx{-1e6, 0.0}
                                               : Cx{};
    EXPECT_EQ(r[k], expected) << k;
  }
}

TEST(StripRightHandSide, SourcePatternsPairWithDivergenceAndShear) {
  const Cx sour{2.0, -3.0};
  const double h = 0.5;
  const Cx q{4.0, -6.0};
  // Test displacement (xl, yl, xt, yt, xb, yb, xr, yr), integers so every sum is exact.
  const double v[9] = {0, 3, -1, 4, 1, -5, 9, 2, -6};
  const double xl = v[1], yl = v[2], xt = v[3], yt = v[4], xb = v[5], yb = v[6], xr = v[7],
               yr = v[8];

  const double div = (xr - xl) + (yt - yb);
  EXPECT_EQ(pair(sourceOnly(1, sour, h), v), (-1e6 * div) * q);

  const double shear = (xt - xb) + (yr - yl);
  EXPECT_EQ(pair(sourceOnly(2, sour, h), v), (-1e13 * shear) * q);

  const double mixed = (xt - xb) + (yt - yb);
  EXPECT_EQ(pair(sourceOnly(3, sour, h), v), (-1e13 * div) * q + (1e9 * mixed) * q);
}

TEST(StripRightHandSide, PointForcesLoadTheValueAtTheElementCentre) {
  // A force F along y (4) or x (5) pairs with the test displacement at the element's
  // centre, the mean of its four edge values: F (sum of the four) / 4, whatever h is.
  const Cx sour{2.0, -3.0};
  const Cx force = 1e6 * sour;
  const double v[9] = {0, 3, -1, 4, 1, -5, 9, 2, -6};
  const double sumX = v[1] + v[3] + v[5] + v[7], sumY = v[2] + v[4] + v[6] + v[8];
  for (const double h : {0.5, 10.0}) {
    EXPECT_EQ(pair(sourceOnly(4, sour, h), v), (sumY * 0.25) * force) << h;
    EXPECT_EQ(pair(sourceOnly(5, sour, h), v), (sumX * 0.25) * force) << h;
  }
}

TEST(StripRightHandSide, NegativeTermsAreComplexProductsWithANegativeZeroPart) {
  // An infinite real part: inf * (-0) makes the imaginary part of the negative terms
  // NaN, while the positive terms, plain scalings, keep a zero imaginary part.
  const double inf = std::numeric_limits<double>::infinity();
  const std::vector<Cx> r = sourceOnly(1, Cx{inf, 0.0}, 1.0);
  EXPECT_EQ(r[1], (Cx{inf, 0.0}));
  EXPECT_EQ(r[4].re, -inf);
  EXPECT_TRUE(std::isnan(r[4].im));
}

TEST(StripRightHandSide, SelectorsWithoutAPatternAddNothing) {
  for (int kdel : {0, 9, 6, -1}) {
    const std::vector<Cx> r = sourceOnly(kdel, Cx{2.0, 1.0}, 1.0);
    for (int k = 1; k <= 8; ++k) EXPECT_EQ(r[k], Cx{}) << kdel << " " << k;
  }
}

TEST(StripRightHandSide, TopAndBottomPairsTakeTheNeighboursFacingEdges) {
  const int nx = 2, ny = 3, s = 2;
  const double h = 0.5;
  InterfaceParameters beta(nx, ny);
  beta.b11.t(1, s) = Cx{2.0, 0.0};
  beta.b12.t(1, s) = Cx{0.0, 1.0};
  beta.b22.t(1, s) = Cx{4.0, 0.0};
  beta.b11.b(2, s) = Cx{1.0, 0.0};
  beta.b22.b(2, s) = Cx{0.0, 2.0};
  EdgeFields cur(nx, ny);
  // Strip above, element 1: its bottom edge faces our top edge.
  cur.u1.b(1, 3) = Cx{3.0, 0.0};
  cur.u2.b(1, 3) = Cx{2.0, 0.0};
  cur.lag1.b(1, 3) = Cx{2.0, 2.0};
  cur.lag2.b(1, 3) = Cx{0.0, -2.0};
  // Strip below, element 2: its top edge faces our bottom edge.
  cur.u1.t(2, 1) = Cx{0.0, 6.0};
  cur.u2.t(2, 1) = Cx{1.0, 0.0};
  cur.lag1.t(2, 1) = Cx{4.0, 0.0};
  cur.lag2.t(2, 1) = Cx{0.0, 0.0};
  // Other edges of the neighbouring strips must not be read.
  for (int i = 1; i <= nx; ++i) {
    for (EdgeQuantity* q : {&cur.u1, &cur.u2, &cur.lag1, &cur.lag2}) {
      q->t(i, 3) = q->l(i, 3) = q->r(i, 3) = Cx{100.0, 100.0};
      q->b(i, 1) = q->l(i, 1) = q->r(i, 1) = Cx{100.0, 100.0};
    }
  }
  std::vector<Cx> r(stripUnknowns(nx) + 1);
  stripRightHandSide(s, systemWith(nx, ny, h, beta), PointSource{}, cur, r.data());
  // Element 1 top pair: h(b11 u1 + lag1 + b12 u2) = 3 + (1 + i) + i = 4 + 2i,
  //                     h(b22 u2 + lag2 + b12 u1) = 4 - i + 1.5i.
  EXPECT_EQ(r[3], (Cx{4.0, 2.0}));
  EXPECT_EQ(r[4], (Cx{4.0, 0.5}));
  // Element 2 bottom pair: 0.5 (6i + 4) = 2 + 3i and 0.5 (2i * 1) = i.
  EXPECT_EQ(r[6 + 5], (Cx{2.0, 3.0}));
  EXPECT_EQ(r[6 + 6], (Cx{0.0, 1.0}));
  for (int k : {1, 2, 5, 6, 7, 8, 9, 10, 13, 14}) EXPECT_EQ(r[k], Cx{}) << k;
}

TEST(StripRightHandSide, MultipliersOfAnInnerVerticalEdgeAddUp) {
  const int nx = 2, ny = 1;
  EdgeFields cur(nx, ny);
  cur.lag1.r(1, 1) = Cx{2.0, 0.0};
  cur.lag1.l(2, 1) = Cx{0.0, 4.0};
  cur.lag2.r(1, 1) = Cx{-2.0, 0.0};
  std::vector<Cx> r(stripUnknowns(nx) + 1);
  stripRightHandSide(1, StripSystem(nx, ny, 0.5), PointSource{}, cur, r.data());
  EXPECT_EQ(r[7], (Cx{1.0, 2.0}));
  EXPECT_EQ(r[8], (Cx{-1.0, 0.0}));
}

TEST(StripRightHandSide, SingleStripGetsTheSourceAlone) {
  const int nx = 3, ny = 1;
  EdgeFields cur(nx, ny);
  InterfaceParameters beta(nx, ny);
  Random rnd(3);
  // Even with data on the frame and parameters on the outer edges, the boundary
  // indicators switch every neighbour term off.
  for (EdgeQuantity* q : {&cur.u1, &cur.u2, &cur.lag1, &cur.lag2, &beta.b11, &beta.b12, &beta.b22})
    for (Grid<Cx>* g : {&q->l, &q->t, &q->b, &q->r})
      for (int j = 0; j <= 2; ++j)
        for (int i = 0; i <= nx + 1; ++i) (*g)(i, j) = rnd.cx();
  for (EdgeQuantity* q : {&cur.lag1, &cur.lag2}) {
    for (int i = 1; i < nx; ++i) q->r(i, 1) = q->l(i + 1, 1) = Cx{};  // inner vertical edges
  }
  const PointSource src{2, 3, 1, Cx{1.0, 1.0}};
  std::vector<Cx> r(stripUnknowns(nx) + 1);
  stripRightHandSide(1, systemWith(nx, ny, 1.0, beta), src, cur, r.data());
  const std::vector<Cx> alone = sourceOnly(2, Cx{1.0, 1.0}, 1.0);
  for (int k = 1; k <= 12; ++k) EXPECT_EQ(r[k], Cx{}) << k;
  for (int m = 1; m <= 8; ++m) EXPECT_EQ(r[12 + m], alone[m]) << m;
}

TEST(SolveStripDisplacements, AtRestOnlyTheSourceStripMoves) {
  Model model(4, 3, 21);
  model.src = PointSource{1, 2, 2, model.src.value};
  for (int s = 1; s <= 3; ++s) {
    EdgeFields cur(4, 3);
    const std::vector<Cx> r = model.rhs(s, cur);
    const bool any = std::any_of(r.begin() + 1, r.end(), [](Cx c) { return !(c == Cx{}); });
    EXPECT_EQ(any, s == 2) << s;
    model.solve(s, cur);
    int nonzero = 0;
    for (int i = 1; i <= 4; ++i)
      for (const EdgeQuantity* u : {&cur.u1, &cur.u2})
        for (const Grid<Cx>* g : {&u->l, &u->t, &u->b, &u->r}) nonzero += !((*g)(i, s) == Cx{});
    if (s == 2)
      EXPECT_GT(nonzero, 0);
    else
      EXPECT_EQ(nonzero, 0) << s;
  }
}

TEST(SolveStripDisplacements, SharedVerticalEdgesAreStoredFromOneEntry) {
  const int nx = 5, ny = 3;
  Model model(nx, ny, 22);
  model.src = PointSource{2, 3, 2, model.src.value};
  Random rnd(4);
  EdgeFields cur(nx, ny);
  randomFields(cur, nx, ny, rnd);
  for (int s = 1; s <= ny; ++s) model.solve(s, cur);
  for (int s = 1; s <= ny; ++s) {
    for (int i = 1; i < nx; ++i) {
      EXPECT_TRUE(sameBits(cur.u1.r(i, s), cur.u1.l(i + 1, s))) << i << "," << s;
      EXPECT_TRUE(sameBits(cur.u2.r(i, s), cur.u2.l(i + 1, s))) << i << "," << s;
    }
  }
}

TEST(SolveStripDisplacements, SolvesTheAssembledStripSystem) {
  const int nx = 4, ny = 3, s = 2;
  Model model(nx, ny, 23);
  model.src = PointSource{3, 2, 2, model.src.value};
  // Keep strip s's band matrix: the assembly leaves it in the work storage.
  assembleStrip(s, model.sys, model.work, model.f);
  const BandMatrix a = model.work.a;
  Random rnd(5);
  EdgeFields cur(nx, ny);
  randomFields(cur, nx, ny, rnd);
  const std::vector<Cx> b = model.rhs(s, cur);
  model.solve(s, cur);

  // The solution as stored on the edges, in strip numbering.
  const int n = stripUnknowns(nx);
  std::vector<Cx> x(n + 1);
  for (int i = 1; i <= nx; ++i)
    for (const Edge e : kEdges) {
      x[stripUnknown(i, localUnknown(e, 1))] = cur.u1[e](i, s);
      x[stripUnknown(i, localUnknown(e, 2))] = cur.u2[e](i, s);
    }
  // Residual over the element envelope of every row.
  double res = 0.0, scale = 0.0;
  for (int row = 1; row <= n; ++row) {
    const int g = (row - 1) / 6, t = (row - 1) % 6 + 1;
    const int first = (t <= 2 && g >= 1) ? 6 * (g - 1) + 1 : 6 * g + 1;
    const int last = std::min(n, 6 * g + 8);
    Cx ax{};
    double mag = 0.0;
    for (int col = first; col <= last; ++col) {
      const Cx term = a(row, col - row + 8) * x[col];
      ax += term;
      mag += abs(term);
    }
    res = std::max(res, abs(ax - b[row]));
    scale = std::max(scale, mag + abs(b[row]));
  }
  EXPECT_GT(scale, 0.0);
  EXPECT_LT(res, 1e-12 * scale);
}

TEST(SolveStripDisplacements, WritesOnlyItsOwnRowSoStripsOfOneParityCommute) {
  const int nx = 3, ny = 5;
  Model model(nx, ny, 24);
  model.src = PointSource{1, 2, 3, model.src.value};
  Random rnd(6);
  EdgeFields start(nx, ny);
  randomFields(start, nx, ny, rnd);

  EdgeFields up = start, down = start;
  for (int s : {1, 3, 5}) model.solve(s, up);
  StripWork other(nx);
  for (int s : {5, 3, 1}) solveStripDisplacements(s, model.sys, model.f, model.src, down, other);

  const auto quantities = [](const EdgeFields& e) {
    return std::array<const EdgeQuantity*, 4>{&e.u1, &e.u2, &e.lag1, &e.lag2};
  };
  const auto s0 = quantities(start), s1 = quantities(up), s2 = quantities(down);
  for (int q = 0; q < 4; ++q) {
    for (Grid<Cx> EdgeQuantity::*e :
         {&EdgeQuantity::l, &EdgeQuantity::t, &EdgeQuantity::b, &EdgeQuantity::r}) {
      for (int j = 0; j <= ny + 1; ++j) {
        for (int i = 0; i <= nx + 1; ++i) {
          EXPECT_TRUE(sameBits((s1[q]->*e)(i, j), (s2[q]->*e)(i, j))) << q << i << j;
          // Only the displacements of the odd rows' elements may change.
          const bool written = q < 2 && j % 2 == 1 && i >= 1 && i <= nx;
          if (!written) EXPECT_TRUE(sameBits((s1[q]->*e)(i, j), (s0[q]->*e)(i, j))) << q << i << j;
        }
      }
    }
  }
}

}  // namespace
}  // namespace sw::test

#include "strip/assemble_strip.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "strip/band_matrix.hpp"
#include "strip/element_matrix.hpp"
#include "strip/factor_strip.hpp"
#include "strip/interface_parameters.hpp"
#include "support/strip.hpp"

namespace sw::test {
namespace {

// The reference matrices over the edges (l, t, b, r), in units of 1/5040.
const double kSxx[4][4] = {{11700, -6660, -6660, 1620},
                           {-6660, 6660, 6660, -6660},
                           {-6660, 6660, 6660, -6660},
                           {1620, -6660, -6660, 11700}};
const double kSyy[4][4] = {{6660, -6660, -6660, 6660},
                           {-6660, 11700, 1620, -6660},
                           {-6660, 1620, 11700, -6660},
                           {6660, -6660, -6660, 6660}};
const double kSxy[4][4] = {{0, -5040, 5040, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 5040, -5040, 0}};
const double kMref[4][4] = {
    {781, 269, 269, -59}, {269, 781, -59, 269}, {269, -59, 781, 269}, {-59, 269, 269, 781}};

/// (p numerator) / 5040, part by part.
Cx q(Cx p, double numerator) {
  return Cx{(p.re * numerator) / 5040.0, (p.im * numerator) / 5040.0};
}

/// Entry (m, r) of the stiffness and mass part, written out term by term.
Cx literalEntry(const ElementCoefficients& c, double omega, double h, int m, int r) {
  const bool xRow = m % 2 == 1, xCol = r % 2 == 1;
  const int e = (m - 1) / 2, f = (r - 1) / 2;
  const double mh = (h * h) * -(omega * omega * c.rho);
  const double mass = (mh * kMref[e][f]) / 5040.0;
  Cx v;
  if (xRow && xCol) {
    v = q(c.p11, kSxx[e][f]) + q(c.p55, kSyy[e][f]) + q(c.p15, kSxy[e][f] + kSxy[f][e]);
    v.re = v.re + mass;
  } else if (xRow) {
    v = q(c.p15, kSxx[e][f]) + q(c.p35, kSyy[e][f]) + q(c.p13, kSxy[e][f]) + q(c.p55, kSxy[f][e]);
  } else if (xCol) {  // transpose of the x-y block
    v = q(c.p15, kSxx[f][e]) + q(c.p35, kSyy[f][e]) + q(c.p13, kSxy[f][e]) + q(c.p55, kSxy[e][f]);
  } else {
    v = q(c.p55, kSxx[e][f]) + q(c.p33, kSyy[e][f]) + q(c.p35, kSxy[e][f] + kSxy[f][e]);
    v.re = v.re + mass;
  }
  return v;
}

/// Adds one edge term to entry v, written out as in the formula.
Cx literalEdge(Cx v, const EdgeTerm& t, int a, int b, double omega, double h, double rho) {
  const Cx beta = (a == 0 && b == 0) ? t.b11 : (a == 1 && b == 1) ? t.b22 : t.b12;
  const double z = (a == 0 && b == 0) ? t.z11 : (a == 1 && b == 1) ? t.z22 : t.z12;
  v.re = v.re + ((1.0 - t.d) * beta.re) * h;
  v.im = v.im + omega * t.d * h * z * std::sqrt(rho) + (1.0 - t.d) * beta.im * h;
  return v;
}

ElementCoefficients coefficientsOf(const Material& m) {
  return {m.p11, m.p13, m.p15, m.p33, m.p35, m.p55, m.rho};
}

EdgeTerm randomEdge(Random& rnd, double d) {
  return {d,
          rnd.cx(-1e6, 1e6),
          rnd.cx(-1e6, 1e6),
          rnd.cx(-1e6, 1e6),
          rnd.uniform(1e4, 2e5),
          rnd.uniform(-1e4, 1e4),
          rnd.uniform(1e4, 2e5)};
}

/// The element matrix of the given coefficients and edge terms, by the assembly's path.
ElementMatrix elementMatrix(const ElementCoefficients& c, double omega, double h,
                            const ElementEdges& edges) {
  ElementMatrix e;
  elementStiffnessMass(c, omega, h, e);
  addEdgeTerms(edges, omega, h, c.rho, e);
  return e;
}

/// The worked element: p11 = p33 = 3, p13 = 1, p55 = 1, p15 = p35 = 0.
ElementCoefficients workedElement(double rho) {
  return {Cx{3, 0}, Cx{1, 0}, Cx{0, 0}, Cx{3, 0}, Cx{0, 0}, Cx{1, 0}, rho};
}

TEST(ElementMatrix, WorkedElementWithoutMass) {
  ElementMatrix e;
  elementStiffnessMass(workedElement(1.0), 0.0, 1.0, e);
  const double tol = kRelTol;
  EXPECT_NEAR(e(1, 1).re, (3 * 11700.0 + 6660) / 5040, tol);
  EXPECT_NEAR(e(2, 2).re, (11700 + 3 * 6660.0) / 5040, tol);
  EXPECT_NEAR(e(1, 7).re, (3 * 1620.0 + 6660) / 5040, tol);
  EXPECT_EQ(-1.0, e(1, 4).re);  // from p13
  EXPECT_EQ(-1.0, e(3, 2).re);  // from p55
  EXPECT_EQ(0.0, e(1, 2).re);
  for (int m = 1; m <= 8; ++m)
    for (int r = 1; r <= 8; ++r) EXPECT_EQ(0.0, e(m, r).im);
}

TEST(ElementMatrix, MassShiftsTheWorkedElement) {
  ElementMatrix e0, e1;
  elementStiffnessMass(workedElement(5040.0), 0.0, 1.0, e0);
  elementStiffnessMass(workedElement(5040.0), 1.0, 1.0, e1);  // omega^2 rho h^2 = 5040
  const double tol = kRelTol * 1000.0;
  EXPECT_NEAR(e1(1, 1).re - e0(1, 1).re, -781.0, tol);
  EXPECT_NEAR(e1(2, 2).re - e0(2, 2).re, -781.0, tol);
  EXPECT_NEAR(e1(1, 3).re - e0(1, 3).re, -269.0, tol);
  EXPECT_NEAR(e1(1, 7).re - e0(1, 7).re, 59.0, tol);
  EXPECT_TRUE(sameBits(e1(1, 2), e0(1, 2)));  // no mass between x and y unknowns
}

TEST(ElementMatrix, FollowsTheWrittenFormulasBitForBit) {
  Random rnd(42);
  for (int trial = 0; trial < 20; ++trial) {
    ElementCoefficients c = coefficientsOf(randomMaterial(rnd));
    if (trial % 2 == 0) {  // signed zeros must come out as the full formula gives them
      c.p15 = Cx{-0.0, -0.0};
      c.p35 = Cx{0.0, -0.0};
      c.p13 = Cx{-c.p13.re, -c.p13.im};
    }
    const double omega = trial == 1 ? 0.0 : rnd.uniform(1.0, 500.0);
    const double h = rnd.uniform(0.5, 20.0);
    const EdgeTerm l = randomEdge(rnd, 1.0), t = randomEdge(rnd, trial % 3 == 0 ? 1.0 : 0.0),
                   b = randomEdge(rnd, 0.0), r = randomEdge(rnd, 1.0);
    const bool withL = trial % 2 == 0, withR = trial % 4 < 2;
    ElementEdges edges{t, b, {}, {}};
    if (withL) edges.l = l;
    if (withR) edges.r = r;
    const ElementMatrix e = elementMatrix(c, omega, h, edges);
    for (int m = 1; m <= 8; ++m)
      for (int k = 1; k <= 8; ++k) {
        Cx want = literalEntry(c, omega, h, m, k);
        const int em = (m - 1) / 2, ek = (k - 1) / 2;
        const EdgeTerm* term = nullptr;
        if (em == ek)
          term = em == 0   ? (withL ? &l : nullptr)
                 : em == 1 ? &t
                 : em == 2 ? &b
                           : (withR ? &r : nullptr);
        if (term != nullptr)
          want = literalEdge(want, *term, (m - 1) % 2, (k - 1) % 2, omega, h, c.rho);
        EXPECT_TRUE(sameBits(e(m, k), want)) << "trial " << trial << " E(" << m << "," << k << ")";
      }
  }
}

/// Everything a strip assembly reads, for an nx by ny grid.
struct StripSetup {
  int nx, ny;
  double h = 4.0, omega;
  StripSystem sys;

  StripSetup(int nx_, int ny_, double omega_, const std::vector<Material>& mats, Random& rnd)
      : nx(nx_), ny(ny_), omega(omega_), sys(nx_, ny_, 4.0) {
    sys.omega = omega;
    sys.med = randomMedium(nx_, ny_, mats, rnd);
    interfaceParameters(omega, sys.med, sys.beta, sys.roots);
  }

  ElementCoefficients coefficients(int i, int s) const {
    const Medium& med = sys.med;
    return {med.p11(i, s), med.p13(i, s), med.p15(i, s), med.p33(i, s),
            med.p35(i, s), med.p55(i, s), med.rho(i, s)};
  }
  EdgeTerm term(double d, Edge side, int i, int s, const RootVectors& z, int k) const {
    return {d,
            sys.beta.b11[side](i, s),
            sys.beta.b12[side](i, s),
            sys.beta.b22[side](i, s),
            z.r11(k),
            z.r12(k),
            z.r22(k)};
  }

  /// Strip s assembled element by element with fresh element matrices.
  BandMatrix referenceBand(int s) const {
    const BoundaryIndicators& del = sys.del;
    const BoundaryRoots& roots = sys.roots;
    BandMatrix a(nx);
    for (int i = 1; i <= nx; ++i) {
      const EdgeTerm t = term(del.yt(s), Edge::t, i, s, roots.yt, i);
      const EdgeTerm b = term(del.yb(s), Edge::b, i, s, roots.yb, i);
      const EdgeTerm l = term(del.xl(1), Edge::l, 1, s, roots.xl, s);
      const EdgeTerm r = term(del.xr(nx), Edge::r, nx, s, roots.xr, s);
      ElementEdges edges{t, b, {}, {}};
      if (i == 1) edges.l = l;
      if (i == nx) edges.r = r;
      const ElementMatrix e = elementMatrix(coefficients(i, s), omega, h, edges);
      for (int m = 1; m <= 8; ++m)
        for (int k = 1; k <= 8; ++k) {
          Cx& entry = a(stripUnknown(i, m), 8 + k - m);
          entry = entry + e(m, k);
        }
    }
    return a;
  }

  void assemble(int s, StripWork& work, StripFactors& f) const { assembleStrip(s, sys, work, f); }
};

/// The entries inside the element envelope (the only ones the assembly writes and the
/// factorisation reads) of a strip of n elements.
void expectSameBand(const BandMatrix& got, const BandMatrix& want, int n, const char* what) {
  for (int i = 1; i <= want.rows(); ++i)
    for (int j = 1; j <= 15; ++j)
      if (inEnvelope(i, i + j - 8, n))
        EXPECT_TRUE(sameBits(got(i, j), want(i, j))) << what << " a(" << i << "," << j << ")";
}

TEST(AssembleStrip, AssemblesAndFactorsEveryStripExactly) {
  Random rnd(43);
  std::vector<Material> mats;
  for (int m = 0; m < 4; ++m) mats.push_back(randomMaterial(rnd));
  // Materials that differ from the first in one input only: all must be told apart.
  mats.push_back(mats[0]);
  mats.back().rho = mats[0].rho * 1.5;
  mats.push_back(mats[0]);
  mats.back().p13.im = mats[0].p13.im + 1.0;
  const StripSetup setup(7, 4, 120.0, mats, rnd);
  StripWork work(setup.nx);
  StripFactors f(setup.nx, setup.ny), fr(setup.nx, setup.ny);
  for (int s = 1; s <= setup.ny; ++s) {
    for (int j = 1; j <= 15; ++j)  // leftovers of an earlier strip must not survive
      for (int i = 1; i <= work.a.rows(); ++i) work.a(i, j) = Cx{1e300, -1e300};
    setup.assemble(s, work, f);
    const BandMatrix want = setup.referenceBand(s);
    expectSameBand(work.a, want, setup.nx, "strip");
    factorStrip(s, want, fr);
  }
  const int nn = stripUnknowns(setup.nx);
  for (int s = 1; s <= setup.ny; ++s)
    for (int i = 1; i <= nn; ++i)
      for (int k = envStart(i); k <= envEnd(i, setup.nx); ++k)
        EXPECT_TRUE(i >= k ? sameBits(f.lower(i, k, s), fr.lower(i, k, s))
                           : sameBits(f.upper(i, k, s), fr.upper(i, k, s)));
}

TEST(AssembleStrip, OneElementAndOneStripGetEveryAbsorbingTerm) {
  Random rnd(44);
  const std::vector<Material> mats = {isotropic(2000.0, 1.8e10, 4.5e9)};
  const StripSetup setup(1, 1, 90.0, mats, rnd);
  StripWork work(1);
  StripFactors f(1, 1);
  setup.assemble(1, work, f);
  expectSameBand(work.a, setup.referenceBand(1), 1, "nx=1");

  // Against the bare element: every pair gains omega h sqrt(rho) Z on its diagonal.
  ElementMatrix bare;
  elementStiffnessMass(setup.coefficients(1, 1), setup.omega, setup.h, bare);
  const double scale = setup.omega * setup.h * std::sqrt(2000.0);
  const double pSqrt = std::sqrt(1.8e10), gSqrt = std::sqrt(4.5e9);
  const double gain[8] = {pSqrt, gSqrt, gSqrt, pSqrt, gSqrt, pSqrt, pSqrt, gSqrt};
  for (int m = 1; m <= 8; ++m) {
    const double added = work.a(m, 8).im - bare(m, m).im;
    EXPECT_NEAR(added, scale * gain[m - 1], kRelTol * scale * pSqrt) << m;
  }
}

TEST(AssembleStrip, ZeroFrequencyStripMapsRigidTranslationsToZero) {
  Random rnd(45);
  const std::vector<Material> mats = {randomMaterial(rnd), randomMaterial(rnd)};
  const StripSetup setup(6, 3, 0.0, mats, rnd);
  StripWork work(setup.nx);
  StripFactors f(setup.nx, setup.ny);
  const int nn = stripUnknowns(setup.nx);
  for (int s = 1; s <= setup.ny; ++s) {
    setup.assemble(s, work, f);
    double largest = 0.0;
    for (int i = 1; i <= nn; ++i)
      for (int j = 1; j <= 15; ++j) largest = std::max(largest, abs(work.a(i, j)));
    for (int component = 0; component < 2; ++component) {
      std::vector<Cx> x(static_cast<std::size_t>(nn) + 1);
      for (int k = 1; k <= nn; ++k) x[k] = ((k - 1) % 2 == component) ? Cx{1, 0} : Cx{};
      const std::vector<Cx> ax = bandTimes(work.a, setup.nx, x);
      for (int i = 1; i <= nn; ++i)
        EXPECT_LT(abs(ax[i]), kRelTol * largest) << "s=" << s << " i=" << i;
    }
  }
}

}  // namespace
}  // namespace sw::test

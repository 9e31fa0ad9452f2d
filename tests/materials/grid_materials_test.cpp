// The moduli of a property grid: the tables' coefficients where the grid describes the same
// materials, the constant-Q law of the Python package, the orientation of a tilted axis, and
// finite interface terms in a fluid.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <optional>
#include <vector>

#include "core/constants.hpp"
#include "materials/constant_q.hpp"
#include "materials/grid_materials.hpp"
#include "materials/stiffness.hpp"
#include "materials/tabled_materials.hpp"
#include "model/medium.hpp"
#include "strip/interface_parameters.hpp"

namespace sw::test {
namespace {

/// A grid of nx by ny elements of one solid: vp 2, vs 1, rho 2 (M = 8, G = 2).
PropertyGrid uniformGrid(int nx, int ny) {
  PropertyGrid g(nx, ny);
  g.referenceFrequency = 0.03;
  g.vp.assign(g.elements(), 2.0);
  g.vs.assign(g.elements(), 1.0);
  g.rho.assign(g.elements(), 2.0);
  return g;
}

/// Every coefficient of two media, bit for bit.
void expectSameMedium(const Medium& a, const Medium& b) {
  for (int j = 0; j <= a.ny() + 1; ++j)
    for (int i = 0; i <= a.nx() + 1; ++i) {
      ASSERT_EQ(a.rho(i, j), b.rho(i, j)) << i << " " << j;
      for (auto p : {&Medium::p11, &Medium::p13, &Medium::p15, &Medium::p33, &Medium::p35,
                     &Medium::p55}) {
        ASSERT_EQ((a.*p)(i, j).re, (b.*p)(i, j).re) << i << " " << j;
        ASSERT_EQ((a.*p)(i, j).im, (b.*p)(i, j).im) << i << " " << j;
      }
    }
}

TEST(GridMaterials, ElasticIsotropicElementsTakeTheCoefficientsOfTheTablesBitForBit) {
  // Two materials in tables and regions, and the same two painted element by element; the
  // ghost frame copies the nearest element in both.
  const int nx = 5, ny = 4;
  Materials mat;
  mat.nmat = 3;
  mat.rhob[1] = 2.0;
  mat.rhob[2] = 1.0;
  mat.p_modulus(1, 1) = Cx{8.0, 0.0};
  mat.s_modulus(1, 1) = Cx{2.0, 0.0};
  mat.p_modulus(2, 1) = Cx{2.25, 0.0};  // a fluid: vp 1.5, vs 0
  mat.s_modulus(2, 1) = Cx{0.0, 0.0};
  mat.matnum = Grid<int>(nx, ny);
  PropertyGrid g = uniformGrid(nx, ny);
  for (int j = 0; j <= ny + 1; ++j)
    for (int i = 0; i <= nx + 1; ++i) {
      const int ii = std::clamp(i, 1, nx), jj = std::clamp(j, 1, ny);
      const bool fluid = jj > 2 && ii < 4;
      mat.matnum(i, j) = fluid ? 2 : 1;
      if (i == ii && j == jj && fluid) {
        const std::size_t k = g.index(ii, jj);
        g.vp[k] = 1.5;
        g.vs[k] = 0.0;
        g.rho[k] = 1.0;
      }
    }
  Medium fromTables(nx, ny), fromGrid(nx, ny);
  TabledMaterials(mat).fillMedium(1, 1.0, fromTables);
  const GridMaterials grid(g);
  grid.fillMedium(1, 1.0, fromGrid);
  expectSameMedium(fromGrid, fromTables);
  EXPECT_EQ(grid.bytes(), static_cast<std::size_t>(nx * ny) * 5 * sizeof(double));
}

TEST(GridMaterials, ATiltOf90DegreesGivesTheRotatedTablesOfTheAnisotropicMaterial) {
  PropertyGrid g = uniformGrid(2, 1);
  g.epsilon = {0.2, 0.2};
  g.delta = {0.1, 0.1};
  g.tilt = {90.0, 90.0};
  const ThomsenStiffness c = thomsenStiffness(2.0, 1.0, 2.0, 0.2, 0.1);
  const PlaneStiffness want =
      rotateToHorizontalAxis(Cx{c.c11, 0.0}, Cx{c.c13, 0.0}, Cx{c.c33, 0.0}, Cx{c.c55, 0.0},
                             Cx{3.0, 0.0});  // C66 does not reach the plane
  Medium med(2, 1);
  GridMaterials(g).fillMedium(1, 1.0, med);
  EXPECT_EQ(med.p11(1, 1), want.p11);
  EXPECT_EQ(med.p13(1, 1), want.p13);
  EXPECT_EQ(med.p33(1, 1), want.p33);
  EXPECT_EQ(med.p55(1, 1), want.p55);
  // The tables drop C'15 and C'35, of the order of cos(90 degrees) times the moduli.
  EXPECT_LT(std::fabs(med.p15(1, 1).re), 1e-15 * c.c11);
  EXPECT_LT(std::fabs(med.p35(1, 1).re), 1e-15 * c.c11);
  EXPECT_GT(std::fabs(med.p35(1, 1).re), 0.0);

  // With one Q for P and S the law turns with the stiffness: the rotated tables of the
  // attenuating moduli, to rounding.
  g.qp = {25.0, 25.0};
  g.qs = {25.0, 25.0};
  const double omega = kTwoPi * 0.05;
  GridMaterials(g).fillMedium(1, omega, med);
  const Cx phi = constantQFactor(lossExponent(25.0), 0.05 / 0.03);
  const PlaneStiffness lossy = rotateToHorizontalAxis(c.c11 * phi, c.c13 * phi, c.c33 * phi,
                                                      c.c55 * phi, c.c55 * phi);
  for (auto [got, want] : {std::pair{med.p11(1, 1), lossy.p11}, {med.p13(1, 1), lossy.p13},
                           {med.p33(1, 1), lossy.p33}, {med.p55(1, 1), lossy.p55}})
    EXPECT_LT(abs(got - want), 1e-14 * abs(want));
}

TEST(GridMaterials, AttenuatingModuliAreThoseOfThePythonPackagesLaw) {
  // constant_q(8, 30, 0.05, 0.03) and constant_q(2, 15, 0.05, 0.03) of
  // python/stripwave/materials.py, the law the tables are written with.
  const Cx m{8.080427291560815, 0.26934757638536044};
  const Cx gm{2.0369832754440917, 0.13579888502960613};
  PropertyGrid g = uniformGrid(1, 1);
  g.qp = {30.0};
  g.qs = {15.0};
  Medium med(1, 1);
  GridMaterials(g).fillMedium(7, kTwoPi * 0.05, med);
  EXPECT_LT(abs(med.p33(1, 1) - m), 1e-14 * abs(m));
  EXPECT_LT(abs(med.p11(1, 1) - m), 1e-14 * abs(m));
  EXPECT_LT(abs(med.p55(1, 1) - gm), 1e-14 * abs(gm));
  const Cx lambda = m - 2.0 * gm;  // lambda + 2 mu follows the P law, mu the S law
  EXPECT_LT(abs(med.p13(1, 1) - lambda), 1e-14 * abs(lambda));
  // At the reference frequency the phase velocities are the given ones.
  GridMaterials(g).fillMedium(1, kTwoPi * 0.03, med);
  const auto phaseVelocity = [](Cx mod, double rho) {
    return 1.0 / (1.0 / std::sqrt(std::complex<double>(mod.re, mod.im) / rho)).real();
  };
  EXPECT_NEAR(phaseVelocity(med.p33(1, 1), 2.0), 2.0, 1e-14);
  EXPECT_NEAR(phaseVelocity(med.p55(1, 1), 2.0), 1.0, 1e-14);
}

/// The qP phase velocity of the plane stiffness of `med` element (1, 1) along the unit
/// vector (nx, ny), from the Christoffel matrix.
double qpVelocity(const Medium& med, double nx, double ny, double rho) {
  const double p11 = med.p11(1, 1).re, p13 = med.p13(1, 1).re, p15 = med.p15(1, 1).re,
               p33 = med.p33(1, 1).re, p35 = med.p35(1, 1).re, p55 = med.p55(1, 1).re;
  const double g11 = p11 * nx * nx + 2.0 * p15 * nx * ny + p55 * ny * ny;
  const double g13 = p15 * nx * nx + (p13 + p55) * nx * ny + p35 * ny * ny;
  const double g33 = p55 * nx * nx + 2.0 * p35 * nx * ny + p33 * ny * ny;
  const double mean = 0.5 * (g11 + g33), half = 0.5 * (g11 - g33);
  return std::sqrt((mean + std::sqrt(half * half + g13 * g13)) / rho);
}

TEST(GridMaterials, TheTiltTurnsTheSymmetryAxisFromTheVerticalTowardsPlusX) {
  for (const double tilt : {30.0, 60.0, -45.0}) {
    PropertyGrid g = uniformGrid(1, 1);
    g.epsilon = {0.25};
    g.delta = {0.05};
    g.tilt = {tilt};
    Medium med(1, 1);
    GridMaterials(g).fillMedium(1, 1.0, med);
    // y up: the axis (sin t, cos t) carries vp, the plane normal to it vp sqrt(1 + 2 eps).
    const double t = tilt * kPi / 180.0;
    EXPECT_NEAR(qpVelocity(med, std::sin(t), std::cos(t), 2.0), 2.0, 1e-12) << tilt;
    EXPECT_NEAR(qpVelocity(med, std::cos(t), -std::sin(t), 2.0), 2.0 * std::sqrt(1.5), 1e-12)
        << tilt;
    // The mirror direction is neither.
    EXPECT_GT(std::fabs(qpVelocity(med, -std::sin(t), std::cos(t), 2.0) - 2.0), 0.05) << tilt;
  }
}

/// Collects the interface parameters of the interior edges.
class CollectEdges : public EdgeParameterSink {
 public:
  void vertical(int, int, const EdgeParameters& b) override { all.push_back(b); }
  void horizontal(int, int, const EdgeParameters& b) override { all.push_back(b); }
  std::vector<EdgeParameters> all;
};

TEST(GridMaterials, AFluidHasNoShearStiffnessAndFiniteInterfaceTerms) {
  // Water over rock: C55 = 0 in the water, whose roots then have a zero tangential part.
  PropertyGrid g = uniformGrid(3, 4);
  for (int i = 1; i <= 3; ++i)
    for (int j = 3; j <= 4; ++j) {
      const std::size_t k = g.index(i, j);
      g.vp[k] = 1.5;
      g.vs[k] = 0.0;
      g.rho[k] = 1.0;
    }
  g.qp.assign(g.elements(), 100.0);
  g.qs.assign(g.elements(), 50.0);
  Medium med(3, 4);
  GridMaterials(g).fillMedium(1, kTwoPi * 0.02, med);
  EXPECT_EQ(med.p55(2, 4), Cx{});
  EXPECT_EQ(med.p13(2, 4), med.p33(2, 4));
  CollectEdges edges;
  BoundaryRoots roots(3, 4);
  interfaceParameters(kTwoPi * 0.02, med, edges, roots);
  ASSERT_FALSE(edges.all.empty());
  for (const EdgeParameters& b : edges.all) {
    EXPECT_TRUE(isfinite(b.b11) && isfinite(b.b12) && isfinite(b.b22));
    EXPECT_GT(b.b11.im + b.b22.im, 0.0);
  }
  // Top boundary (water): the normal root is sqrt(C33) and the tangential one 0.
  EXPECT_NEAR(roots.yt.r22(2), std::sqrt(med.p33(2, 4).re), 1e-9);
  EXPECT_EQ(roots.yt.r11(2), 0.0);
  EXPECT_EQ(roots.yt.r12(2), 0.0);
}

TEST(GridMaterials, AnSModulusDecayingFarFasterThanThePModulusLosesTheEdgeRoots) {
  // A strongly anisotropic tilted solid (epsilon -0.4) with qs 1 and qp 148: the real part
  // of the P part, indefinite on its own, outweighs the S part, and the matrix whose root
  // the interface terms take is indefinite.  With qs = qp it keeps its roots.
  PropertyGrid g = uniformGrid(2, 1);
  g.referenceFrequency = 0.04;
  g.vp.assign(2, 1.5);
  g.vs.assign(2, 0.83);
  g.rho.assign(2, 1.28);
  g.epsilon.assign(2, -0.4);
  g.delta.assign(2, -0.068);
  g.tilt.assign(2, -145.5);
  g.qp.assign(2, 148.0);
  g.qs.assign(2, 148.0);
  const double omega = kTwoPi * 0.04;
  EXPECT_EQ(GridMaterials(g).firstWithoutNormalRoot(omega), std::nullopt);
  g.qs[1] = 1.0;
  EXPECT_EQ(GridMaterials(g).firstWithoutNormalRoot(omega), std::optional<std::size_t>(1));
  // What the check stands for: the root of the x-edge stiffness is then not finite.
  Medium med(2, 1);
  GridMaterials(g).fillMedium(1, omega, med);
  const double a[4] = {med.p11(2, 1).re, med.p15(2, 1).re, med.p15(2, 1).re, med.p55(2, 1).re};
  EXPECT_LT(a[0] * a[3] - a[1] * a[2], 0.0);
  // An elastic grid of the same solid keeps them.
  g.qp.clear();
  g.qs.clear();
  EXPECT_EQ(GridMaterials(g).firstWithoutNormalRoot(omega), std::nullopt);
}

/// A grid where every element has its own moduli: velocities and Q that vary along both
/// axes, Thomsen parameters and a tilt, with isotropic elements and a fluid among them.
PropertyGrid variedGrid(int nx, int ny) {
  PropertyGrid g(nx, ny);
  g.referenceFrequency = 0.03;
  const std::size_t n = g.elements();
  for (std::size_t k = 0; k < n; ++k) {
    const double x = static_cast<double>(k);
    const bool fluid = k % 17 == 3, isotropic = k % 5 == 1;
    g.vp.push_back(2.5 + 1e-3 * x);
    g.vs.push_back(fluid ? 0.0 : 1.2 + 5e-4 * static_cast<double>(k % 101));
    g.rho.push_back(2.0 + 1e-4 * static_cast<double>(k % 37));
    g.qp.push_back(30.0 + 0.37 * static_cast<double>(k % 97));
    g.qs.push_back(15.0 + 0.21 * static_cast<double>(k % 91));
    g.epsilon.push_back(isotropic ? 0.0 : 0.1 + 1e-4 * x);
    g.delta.push_back(isotropic ? 0.0 : 0.05);
    g.tilt.push_back(45.0 * std::sin(0.1 * x));
  }
  return g;
}

TEST(GridMaterials, TheMediumIsTheSameOnAnyNumberOfThreads) {
  // Rows of the medium are shared out between threads, each with its own memo of the
  // constant-Q factors: every coefficient stays the same, bit for bit.
  const int nx = 23, ny = 19;
  for (const bool attenuating : {true, false}) {
    PropertyGrid g = variedGrid(nx, ny);
    if (!attenuating) {
      g.qp.clear();
      g.qs.clear();
    }
    const GridMaterials grid(g);
    Medium one(nx, ny);
    grid.fillMedium(1, kTwoPi * 0.05, one, 1);
    for (const int threads : {2, 3, 5}) {
      Medium many(nx, ny);
      grid.fillMedium(1, kTwoPi * 0.05, many, threads);
      expectSameMedium(many, one);
      EXPECT_EQ(many.closedFormRoots, one.closedFormRoots);
    }
  }
}

TEST(GridMaterials, GivenUpDatasetsLendTheirStorageAndTheQualityFactorsStay) {
  const int nx = 11, ny = 7;
  PropertyGrid g = variedGrid(nx, ny);
  const PropertyGrid kept = g;
  const GridMaterials copied(kept), taken(std::move(g));
  // The datasets the moduli took are empty; sizes and quality factors are as they were.
  for (const std::vector<double>* v : {&g.vp, &g.vs, &g.rho, &g.epsilon, &g.delta, &g.tilt})
    EXPECT_TRUE(v->empty());
  EXPECT_EQ(g.nx, nx);
  EXPECT_EQ(g.ny, ny);
  EXPECT_EQ(g.qp, kept.qp);
  EXPECT_EQ(g.qs, kept.qs);
  // Their storage, overwritten element by element, gives what a copy gives.
  Medium a(nx, ny), b(nx, ny);
  copied.fillMedium(1, kTwoPi * 0.02, a);
  taken.fillMedium(1, kTwoPi * 0.02, b);
  expectSameMedium(b, a);
  EXPECT_EQ(taken.bytes(), copied.bytes());
  EXPECT_EQ(taken.firstWithoutNormalRoot(kTwoPi * 0.02),
            copied.firstWithoutNormalRoot(kTwoPi * 0.02));
}

TEST(GridMaterials, StorageGrowsWithWhatTheGridDescribes) {
  // Per element: the density and four coefficients; with Q eight and the exponent and
  // inverse of both quality factors; twelve coefficients with a tilt.
  EXPECT_EQ(GridMaterials::bytesPerElement(false, false), 40u);
  EXPECT_EQ(GridMaterials::bytesPerElement(true, false), 104u);
  EXPECT_EQ(GridMaterials::bytesPerElement(false, true), 56u);
  EXPECT_EQ(GridMaterials::bytesPerElement(true, true), 136u);
  PropertyGrid g = uniformGrid(3, 2);
  g.qp.assign(6, 40.0);
  g.qs.assign(6, 20.0);
  EXPECT_EQ(GridMaterials(g).bytes(), 6u * 104u);
  // While they are formed the grid keeps its quality factors.
  EXPECT_EQ(GridMaterials::peakBytesPerElement(true, true), 152u);
  EXPECT_EQ(GridMaterials::peakBytesPerElement(false, true), 56u);
}

}  // namespace
}  // namespace sw::test

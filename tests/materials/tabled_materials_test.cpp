// Per-element coefficients of one frequency: isotropic formulas and the rotated
// transversely isotropic material.

#include <gtest/gtest.h>

#include <cmath>

#include "materials/material_tables.hpp"
#include "materials/tabled_materials.hpp"
#include "model/medium.hpp"
#include "support/layered_model.hpp"

namespace swtest {
namespace {

using sw::Cx;

TEST(Rotation, AngleIsEvaluatedInDoublePrecision) {
  EXPECT_EQ(sw::rotationCos(), 6.123233995736766e-17);
  EXPECT_EQ(sw::rotationSin(), 1.0);
}

/// Relative distance of two complex values.
double relDiff(Cx a, Cx b) { return sw::abs(a - b) / sw::abs(b); }

TEST(Rotation, SymmetryAxisTurnsIntoX) {
  const Cx p11w{2.5e7, 2.0e5}, p13w{9.0e6, 1.0e5}, p33w{1.9e7, 1.5e5}, p55w{5.0e6, 4.0e4},
      p66w{6.0e6, 5.0e4};
  const sw::PlaneStiffness p = sw::rotateToHorizontalAxis(p11w, p13w, p33w, p55w, p66w);
  // Equal up to terms of the order of cos(90 degrees) times the coefficients.
  EXPECT_LT(relDiff(p.p11, p33w), 1e-15);
  EXPECT_LT(relDiff(p.p33, p11w), 1e-15);
  EXPECT_LT(relDiff(p.p13, p13w), 1e-15);
  EXPECT_LT(relDiff(p.p55, p55w), 1e-15);
}

TEST(Rotation, CosineTermsOfC11Survive) {
  // Only C11 = C22 = C12 = C21 = 1: C'11 = ct^4, C'13 = ct^2, C'33 = 1, C'55 = ct^2.
  const double ct = sw::rotationCos();
  const double c2 = ct * ct;
  const sw::PlaneStiffness p = sw::rotateToHorizontalAxis(Cx{1.0, 0.0}, Cx{}, Cx{}, Cx{}, Cx{});
  EXPECT_EQ(p.p11.re, c2 * c2);
  EXPECT_EQ(p.p13.re, c2);
  EXPECT_EQ(p.p33.re, 1.0);
  EXPECT_EQ(p.p55.re, ct * ct);
  EXPECT_EQ(p.p11.im, 0.0);
}

TEST(Rotation, CosineTermsOfC55Survive) {
  // Only C44 = C55 = 1 + 2i: the shear pair reaches C'11, C'13 and C'33 through 2 ct.
  const double ct = sw::rotationCos();
  const Cx s{1.0, 2.0};
  const sw::PlaneStiffness p = sw::rotateToHorizontalAxis(Cx{}, Cx{}, Cx{}, s, Cx{});
  const double k = (2.0 * ct) * (2.0 * ct);
  EXPECT_EQ(p.p11, (Cx{k, 2.0 * k}));
  EXPECT_EQ(p.p33, (Cx{k, 2.0 * k}));
  EXPECT_EQ(p.p13, (Cx{-k, -2.0 * k}));
  EXPECT_EQ(p.p55, s);
}

TEST(Rotation, P66DoesNotReachThePlaneCoefficients) {
  const sw::PlaneStiffness p = sw::rotateToHorizontalAxis(Cx{}, Cx{}, Cx{}, Cx{}, Cx{3.0e6, 1.0e4});
  for (Cx c : {p.p11, p.p13, p.p33, p.p55}) EXPECT_EQ(sw::abs(c), 0.0);
}

TEST(Isotropic, GoesThroughLambdaInTheWrittenOrder) {
  const Cx m{7.582, 0.885}, g{1.773, 2.402};
  const sw::PlaneStiffness p = sw::isotropicStiffness(m, g);
  // (M - 2G) + 2G rounds away from M here: p33 is not a copy of M.
  EXPECT_EQ(p.p33.re, 7.581999999999999);
  EXPECT_NE(p.p33.re, m.re);
  EXPECT_EQ(p.p33.im, 0.8849999999999998);
  EXPECT_EQ(p.p11, p.p33);
  EXPECT_EQ(p.p13, (Cx{p.p33.re - 2.0 * 1.773, p.p33.im - 2.0 * 2.402}));
  EXPECT_EQ(p.p55, g);
}

TEST(FillMedium, CoversTheGhostFrameAndZeroesTheCouplingTerms) {
  // Materials 1 and 2 isotropic, 3 transversely isotropic, all three in the 3 x 2 grid.
  const int jw = 5;
  sw::test::LayeredModel model(3, 2, jw + 1);
  sw::Materials& mat = model.mat;
  mat.p_modulus(1, jw + 1) = Cx{9.0, 9.0};  // another frequency: must not be used
  sw::Medium med(3, 2);
  med.p15.fill(Cx{1.0, 1.0});
  med.p35.fill(Cx{1.0, 1.0});
  sw::fillMedium(jw, mat, med);

  const sw::PlaneStiffness rotated = sw::rotateToHorizontalAxis(
      mat.p11w(3, jw), mat.p13w(3, jw), mat.p33w(3, jw), mat.p55w(3, jw), mat.p66w(3, jw));
  int seen[4] = {};
  for (int j = 0; j <= 3; ++j)
    for (int i = 0; i <= 4; ++i) {
      const int m = mat.matnum(i, j);
      ++seen[m];
      const sw::PlaneStiffness want =
          m == 3 ? rotated : sw::isotropicStiffness(mat.p_modulus(m, jw), mat.s_modulus(m, jw));
      EXPECT_EQ(med.rho(i, j), mat.rhob[m]) << i << "," << j;
      EXPECT_EQ(med.p11(i, j), want.p11) << i << "," << j;
      EXPECT_EQ(med.p13(i, j), want.p13) << i << "," << j;
      EXPECT_EQ(med.p33(i, j), want.p33) << i << "," << j;
      EXPECT_EQ(med.p55(i, j), want.p55) << i << "," << j;
      EXPECT_EQ(med.p15(i, j), Cx{}) << i << "," << j;
      EXPECT_EQ(med.p35(i, j), Cx{}) << i << "," << j;
      EXPECT_FALSE(std::signbit(med.p15(i, j).re));
    }
  EXPECT_TRUE(seen[1] > 0 && seen[2] > 0 && seen[3] > 0);
}

}  // namespace
}  // namespace swtest

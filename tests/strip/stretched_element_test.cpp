// The element matrix of a perfectly matched layer's element: each pair of derivatives
// scaled by its stretch factors, against the element matrix without stretches.

#include <gtest/gtest.h>

#include <cmath>

#include "strip/element_matrix.hpp"

namespace {

using sw::Cx;

sw::ElementCoefficients anisotropic() {
  sw::ElementCoefficients c{Cx{2.0e7, 1.0e5}, Cx{6.0e6, 3.0e4}, Cx{1.5e6, -2.0e4},
                            Cx{1.8e7, 9.0e4}, Cx{-1.1e6, 1.0e4}, Cx{5.0e6, 2.5e4}, 2.3};
  return c;
}

double distance(Cx a, Cx b) { return sw::abs(a - b); }

/// The largest entry of a matrix, for a relative tolerance.
double largest(const sw::ElementMatrix& e) {
  double m = 0.0;
  for (int a = 1; a <= 8; ++a)
    for (int b = 1; b <= 8; ++b) m = std::max(m, sw::abs(e(a, b)));
  return m;
}

TEST(StretchedElement, UnitStretchesAreTheElementWithout) {
  const sw::ElementCoefficients plain = anisotropic();
  sw::ElementCoefficients c = plain;
  sw::setStretch(c, Cx{1.0, 0.0}, Cx{1.0, 0.0});
  EXPECT_FALSE(c.stretched);
  c.stretched = true;  // the stretched form with factors 1
  sw::ElementMatrix a, b;
  sw::elementStiffnessMass(plain, 300.0, 5.0, a, 0.5);
  sw::elementStiffnessMass(c, 300.0, 5.0, b, 0.5);
  const double scale = largest(a);
  for (int m = 1; m <= 8; ++m)
    for (int r = 1; r <= 8; ++r) EXPECT_LE(distance(a(m, r), b(m, r)), 1e-14 * scale) << m << r;
}

TEST(StretchedElement, EqualStretchesScaleOnlyTheMass) {
  // sx = sy = s: the derivative terms keep their factors 1, the mass takes s^2; so the
  // stretched matrix is the plain one with the density times s^2 (a complex density,
  // split here as the difference of two plain matrices).
  const Cx s{1.0, -0.7};
  const double omega = 250.0, h = 4.0;
  sw::ElementCoefficients c = anisotropic();
  sw::setStretch(c, s, s);
  ASSERT_TRUE(c.stretched);
  sw::ElementMatrix stretched, plain, stiffness;
  sw::elementStiffnessMass(c, omega, h, stretched);
  sw::elementStiffnessMass(anisotropic(), omega, h, plain);
  sw::ElementCoefficients massless = anisotropic();
  massless.rho = 0.0;
  sw::elementStiffnessMass(massless, omega, h, stiffness);
  const Cx s2 = s * s;
  const double scale = largest(plain);
  for (int m = 1; m <= 8; ++m)
    for (int r = 1; r <= 8; ++r) {
      const Cx mass = plain(m, r) - stiffness(m, r);
      EXPECT_LE(distance(stretched(m, r), stiffness(m, r) + s2 * mass), 1e-13 * scale)
          << m << r;
    }
}

TEST(StretchedElement, AStretchAlongXScalesTheDerivativesAlongXAndY) {
  // sx = s, sy = 1: the x-x terms take 1 / s, the y-y terms s, the mixed ones 1, the mass s.
  // Checked one modulus at a time: p11 alone gives only x-x terms in the x-x block, p33
  // alone only y-y terms in the y-y block, p13 alone only mixed ones.
  const Cx s{1.0, -2.0};
  const double omega = 100.0, h = 5.0;
  const struct {
    Cx sw::ElementCoefficients::*modulus;
    Cx factor;
  } cases[] = {{&sw::ElementCoefficients::p11, Cx{1.0, 0.0} / s},
               {&sw::ElementCoefficients::p33, s},
               {&sw::ElementCoefficients::p13, Cx{1.0, 0.0}}};
  for (const auto& k : cases) {
    sw::ElementCoefficients plain{};
    plain.*k.modulus = Cx{3.0e6, 1.0e4};
    sw::ElementCoefficients c = plain;
    sw::setStretch(c, s, Cx{1.0, 0.0});
    sw::ElementMatrix a, b;
    sw::elementStiffnessMass(plain, omega, h, a);
    sw::elementStiffnessMass(c, omega, h, b);
    const double scale = largest(a);
    ASSERT_GT(scale, 0.0);
    for (int m = 1; m <= 8; ++m)
      for (int r = 1; r <= 8; ++r)
        EXPECT_LE(distance(b(m, r), k.factor * a(m, r)), 1e-13 * scale) << m << r;
  }
}

TEST(StretchedElement, StaysComplexSymmetric) {
  sw::ElementCoefficients c = anisotropic();
  sw::setStretch(c, Cx{1.0, -3.0}, Cx{1.0, -0.4});
  sw::ElementMatrix e;
  sw::elementStiffnessMass(c, 200.0, 5.0, e, 1.0);
  for (int m = 1; m <= 8; ++m)
    for (int r = 1; r <= 8; ++r) EXPECT_EQ(e(m, r), e(r, m)) << m << r;
}

}  // namespace

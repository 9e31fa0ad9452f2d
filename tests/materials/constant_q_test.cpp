// The constant-Q law split into the terms of a quality factor and one exponential per
// frequency gives the factor of the law formed with its trigonometric functions.

#include <gtest/gtest.h>

#include <cmath>

#include "core/constants.hpp"
#include "materials/constant_q.hpp"

namespace sw::test {
namespace {

TEST(ConstantQ, TheTermsOfAQualityFactorGiveTheFactorOfTheLaw) {
  for (const double q : {0.3, 1.0, 2.5, 15.0, 30.0, 137.0, 1e4, 1e9}) {
    const ConstantQTerms t = constantQTerms(q);
    EXPECT_EQ(t.twoG, 2.0 * lossExponent(q));
    for (const double ratio : {0.001, 0.25, 1.0, 1.7, 40.0}) {
      const Cx want = constantQFactor(lossExponent(q), ratio);
      const double grown = t.scale * constantQGrowth(t.twoG, std::log(ratio));
      const Cx got{grown, grown * t.inverseQ};
      EXPECT_LT(abs(got - want), 1e-14 * abs(want)) << "Q " << q << ", ratio " << ratio;
      // Its loss tangent is 1 / Q.
      EXPECT_NEAR(want.im / want.re, 1.0 / q, 1e-14 / q);
    }
  }
  // At the reference frequency the growth is exactly 1.
  EXPECT_EQ(constantQGrowth(constantQTerms(20.0).twoG, std::log(1.0)), 1.0);
}

}  // namespace
}  // namespace sw::test

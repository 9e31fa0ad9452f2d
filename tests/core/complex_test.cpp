#include <gtest/gtest.h>

#include "core/complex.hpp"

TEST(Cx, SmithDivisionTakesSecondBranchOnTies) {
  const sw::Cx q = sw::Cx{1.0, 1.0} / sw::Cx{2.0, 2.0};
  EXPECT_EQ(q.re, 0.5);
  EXPECT_EQ(q.im, 0.0);
}

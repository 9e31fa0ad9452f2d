#include "model/boundary.hpp"

#include <gtest/gtest.h>

namespace sw {
namespace {

TEST(BoundaryIndicators, MarkFirstAndLastElements) {
  const BoundaryIndicators del = boundaryIndicators(3, 2);
  EXPECT_EQ(del.xl(1), 1.0);
  EXPECT_EQ(del.xl(2), 0.0);
  EXPECT_EQ(del.xl(3), 0.0);
  EXPECT_EQ(del.xr(1), 0.0);
  EXPECT_EQ(del.xr(2), 0.0);
  EXPECT_EQ(del.xr(3), 1.0);
  EXPECT_EQ(del.yb(1), 1.0);
  EXPECT_EQ(del.yb(2), 0.0);
  EXPECT_EQ(del.yt(1), 0.0);
  EXPECT_EQ(del.yt(2), 1.0);
}

TEST(BoundaryIndicators, SingleElementIsFirstAndLast) {
  const BoundaryIndicators del = boundaryIndicators(1, 1);
  EXPECT_EQ(del.xl(1), 1.0);
  EXPECT_EQ(del.xr(1), 1.0);
  EXPECT_EQ(del.yb(1), 1.0);
  EXPECT_EQ(del.yt(1), 1.0);
}

}  // namespace
}  // namespace sw

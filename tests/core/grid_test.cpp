#include "core/grid.hpp"

#include <gtest/gtest.h>

namespace sw {
namespace {

TEST(Grid, HoldsTheGhostFrameAndStartsAtZero) {
  Grid<int> g(3, 2);
  EXPECT_EQ(g.size(), 5u * 4u);
  EXPECT_TRUE(g.inFrame(0, 0) && g.inFrame(4, 3));
  EXPECT_FALSE(g.inFrame(5, 0) || g.inFrame(0, -1));
  g(4, 3) = 7;
  EXPECT_EQ(g.data()[g.size() - 1], 7);
  EXPECT_EQ(g(1, 1), 0);
}

#if defined(STRIPWAVE_CHECK_BOUNDS)
// Compiled with the bounds tier only (make sanitize): an index outside the frame stops
// the program with a message instead of touching memory outside the array.
TEST(GridDeathTest, AccessOutsideTheFrameAborts) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  Grid<int> g(3, 2);
  EXPECT_DEATH(g(5, 1) = 1, "internal check failed .*index out of range");
  EXPECT_DEATH(g(1, -1) = 1, "index out of range");
  Vec1<double> v(4);
  EXPECT_DEATH(v(6) = 1.0, "index out of range");
}
#endif

}  // namespace
}  // namespace sw

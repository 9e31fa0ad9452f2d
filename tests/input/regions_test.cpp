// The material map the regions of the deck give.

#include "input/regions.hpp"

#include <gtest/gtest.h>

#include "support/input_harness.hpp"

namespace sw::test {
namespace {

/// The material map of the default 10 x 8 deck with `regions` and nmat materials.
Grid<int> materialMap(const std::vector<Region>& regions, int nmat = 3) {
  ScratchDir dir;
  TestDeck d;
  d.nmat = nmat;
  d.regions = regions;
  const InputRun r = readDeck(d);
  EXPECT_EQ(r.outcome.kind, Outcome::Kind::Returned) << r.outcome.message;
  return r.mat->matnum;
}

TEST(Regions, FullDomainCoversExactlyTheGridAndItsFrame) {
  const Grid<int> m = materialMap({{0.0, 50.0, 0.0, 40.0, 1}}, 2);
  for (int j = 0; j <= 9; ++j)
    for (int i = 0; i <= 11; ++i) EXPECT_EQ(m(i, j), 1) << i << "," << j;
}

TEST(Regions, LaterRegionsOverwriteEarlierOnes) {
  const Grid<int> m = materialMap(
      {{0.0, 50.0, 0.0, 40.0, 1}, {10.0, 30.0, 10.0, 30.0, 2}, {20.0, 40.0, 20.0, 40.0, 3}});
  EXPECT_EQ(m(2, 2), 1);
  EXPECT_EQ(m(3, 3), 2);
  EXPECT_EQ(m(4, 4), 2);
  EXPECT_EQ(m(5, 5), 3);  // the overlap takes the third
  EXPECT_EQ(m(8, 8), 3);
  EXPECT_EQ(m(9, 8), 1);
}

TEST(Regions, FrameCopiesTheNearestElementIntoCornersAndSides) {
  const Grid<int> m = materialMap({{0.0, 50.0, 0.0, 40.0, 1},
                                   {0.0, 5.0, 0.0, 5.0, 2},
                                   {45.0, 50.0, 35.0, 40.0, 3},
                                   {0.0, 5.0, 35.0, 40.0, 3}});
  EXPECT_EQ(m(0, 0), 2);
  EXPECT_EQ(m(1, 0), 2);
  EXPECT_EQ(m(0, 1), 2);
  EXPECT_EQ(m(11, 9), 3);
  EXPECT_EQ(m(0, 9), 3);
  EXPECT_EQ(m(11, 0), 1);
  for (int j = 2; j <= 7; ++j) EXPECT_TRUE(m(0, j) == 1 && m(11, j) == 1) << j;
}

TEST(Regions, RegionWithoutAnElementCentreChangesNothing) {
  const Grid<int> m = materialMap({{0.0, 50.0, 0.0, 40.0, 1}, {5.5, 7.0, 0.0, 40.0, 2}});
  for (int j = 1; j <= 8; ++j)
    for (int i = 1; i <= 10; ++i) EXPECT_EQ(m(i, j), 1);
}

TEST(Regions, MaterialThreeIsReadFromBothSetsOfTables) {
  ScratchDir dir;
  TestDeck d;
  d.nmat = 4;
  d.regions = {{0.0, 50.0, 0.0, 40.0, 1}, {10.0, 20.0, 10.0, 20.0, 3}, {0.0, 5.0, 0.0, 5.0, 2}};
  const InputRun r = readDeck(d);
  ASSERT_EQ(r.outcome.kind, Outcome::Kind::Returned) << r.outcome.message;
  EXPECT_EQ(r.mat->matnum(3, 3), 3);
  EXPECT_EQ(r.mat->rhob[3], 2.4);  // the anisotropic density remains
  EXPECT_EQ(r.mat->p_modulus(3, 1).re, 2.07e7);
}

}  // namespace
}  // namespace sw::test

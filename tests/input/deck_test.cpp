// The deck header: mesh size and rounding, snapshot lists and the derived wavelet
// parameters.

#include "input/deck.hpp"

#include <gtest/gtest.h>

#include "support/input_harness.hpp"

namespace sw::test {
namespace {

TEST(MeshSize, ShorterQuotientWins) {
  EXPECT_EQ(meshSize(10, 10, 100.0, 50.0), 5.0);
  EXPECT_EQ(meshSize(10, 10, 100.0, 200.0), 10.0);
  EXPECT_EQ(meshSize(10, 8, 50.0, 40.0), 5.0);
}

TEST(Deck, RoundsTheLongerSideDownToSquareElements) {
  struct Size {
    double xsize, ysize, h;
    const char* rounded;
  };
  for (const Size s :
       {Size{100.0, 50.0, 5.0, "0.50000000E+02"}, Size{100.0, 200.0, 10.0, "0.10000000E+03"}}) {
    ScratchDir dir;
    TestDeck d;
    d.nx = d.ny = 10;
    d.xsize = s.xsize;
    d.ysize = s.ysize;
    d.regions = {{0.0, 10 * s.h, 0.0, 10 * s.h, 1}};
    const InputRun r = readDeck(d);
    ASSERT_EQ(r.outcome.kind, Outcome::Kind::Returned) << r.outcome.message;
    EXPECT_EQ(r.par.h, s.h);
    const std::string v = s.rounded;
    EXPECT_NE(r.log.find("\n  rounded xsize =       " + v + " m ; \n rounded ysize =       " + v +
                         " m \n\n"),
              std::string::npos)
        << r.log;
  }
}

TEST(Deck, GridOf600By600Passes) {
  ScratchDir dir;
  TestDeck d;
  d.nx = d.ny = 600;
  d.xsize = d.ysize = 3000.0;
  d.regions = {{0.0, 3000.0, 0.0, 3000.0, 1}};
  const InputRun r = readDeck(d);
  ASSERT_EQ(r.outcome.kind, Outcome::Kind::Returned) << r.outcome.message;
  EXPECT_EQ(r.mat->matnum(600, 600), 1);
  EXPECT_EQ(r.mat->matnum(601, 601), 1);
}

TEST(Deck, EmptySnapshotListsConsumeOneLineEach) {
  ScratchDir dir;
  TestDeck d;
  d.nsnapf = 0;
  d.nsnapt = -2;
  const InputRun r = readDeck(d);
  ASSERT_EQ(r.outcome.kind, Outcome::Kind::Returned) << r.outcome.message;
  EXPECT_EQ(r.par.nsnapt, -2);
  EXPECT_EQ(r.par.maxiter, 20);  // the entries after the lists are read in place
}

TEST(Deck, FrequencyOneGivesW0TwoPiAndAlfa158) {
  ScratchDir dir;
  TestDeck d;
  d.freq = 1.0;
  d.key = 4;
  const InputRun r = readDeck(d);
  ASSERT_EQ(r.outcome.kind, Outcome::Kind::Returned) << r.outcome.message;
  EXPECT_NE(r.log.find("\n  w0 =       0.62831853E+01  alfa =       0.15800000E+01\n\n\n"),
            std::string::npos);
}

}  // namespace
}  // namespace sw::test

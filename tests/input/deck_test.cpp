// Deck header: mesh size and rounding, the grid, snapshot and material-count limits, and
// the rejected header values.

#include <gtest/gtest.h>

#include "input/deck.hpp"
#include "support/input_harness.hpp"

namespace swtest {
namespace {

using Kind = Outcome::Kind;

/// The message line that rejectInput leaves in the log.
std::string rejection(const std::string& message) { return " input error: " + message; }

TEST(MeshSize, ShorterQuotientWins) {
  EXPECT_EQ(sw::meshSize(10, 10, 100.0, 50.0), 5.0);
  EXPECT_EQ(sw::meshSize(10, 10, 100.0, 200.0), 10.0);
  EXPECT_EQ(sw::meshSize(10, 8, 50.0, 40.0), 5.0);
}

TEST(Deck, RoundsTheLongerSideDownToSquareElements) {
  ScratchDir dir;
  TestDeck d;
  d.nx = 10;
  d.ny = 10;
  d.xsize = 100.0;
  d.ysize = 50.0;
  d.regions = {{0.0, 50.0, 0.0, 50.0, 1}};
  writeRun(d);
  const InputRun r = runReadInput();
  ASSERT_EQ(r.outcome.kind, Kind::Returned) << r.outcome.message;
  EXPECT_EQ(r.par.h, 5.0);
  EXPECT_NE(r.log.find("\n  rounded xsize =       0.50000000E+02 m ; \n"
                       " rounded ysize =       0.50000000E+02 m \n\n"),
            std::string::npos);
  EXPECT_NE(r.log.find("\n  mesh size h=       0.50000000E+01 m\n"), std::string::npos);
}

TEST(Deck, RoundsTheShorterQuotientAlongX) {
  ScratchDir dir;
  TestDeck d;
  d.nx = 10;
  d.ny = 10;
  d.xsize = 100.0;
  d.ysize = 200.0;
  d.regions = {{0.0, 100.0, 0.0, 100.0, 1}};
  writeRun(d);
  const InputRun r = runReadInput();
  ASSERT_EQ(r.outcome.kind, Kind::Returned) << r.outcome.message;
  EXPECT_EQ(r.par.h, 10.0);
  EXPECT_NE(r.log.find("\n  rounded xsize =       0.10000000E+03 m ; \n"
                       " rounded ysize =       0.10000000E+03 m \n\n"),
            std::string::npos);
}

TEST(Deck, GridOf601AlongXStopsWith77AfterTheGridEcho) {
  ScratchDir dir;
  TestDeck d;
  d.nx = 601;
  writeRun(d);
  const InputRun r = runReadInput();
  ASSERT_EQ(r.outcome.kind, Kind::Stopped);
  EXPECT_EQ(r.outcome.code, 77);
  EXPECT_EQ(r.log,
            "\n Global # elements  in x-direction nx =   601\n"
            " Global # elements  in y-direction ny =     8\n");
}

TEST(Deck, GridOf601AlongYStopsWith77) {
  ScratchDir dir;
  TestDeck d;
  d.nx = 600;
  d.ny = 601;
  writeRun(d);
  const InputRun r = runReadInput();
  ASSERT_EQ(r.outcome.kind, Kind::Stopped);
  EXPECT_EQ(r.outcome.code, 77);
  EXPECT_EQ(r.log,
            "\n Global # elements  in x-direction nx =   600\n"
            " Global # elements  in y-direction ny =   601\n");
}

TEST(Deck, GridOf600By600Passes) {
  ScratchDir dir;
  TestDeck d;
  d.nx = 600;
  d.ny = 600;
  d.xsize = 3000.0;
  d.ysize = 3000.0;
  d.regions = {{0.0, 3000.0, 0.0, 3000.0, 1}};
  writeRun(d);
  const InputRun r = runReadInput();
  ASSERT_EQ(r.outcome.kind, Kind::Returned) << r.outcome.message;
  EXPECT_EQ(r.mat->matnum(600, 600), 1);
  EXPECT_EQ(r.mat->matnum(601, 601), 1);
}

TEST(Deck, GridWithoutElementsIsRejectedAfterTheGridChecks) {
  ScratchDir dir;
  TestDeck d;
  d.nx = 0;
  writeRun(d);
  const InputRun r = runReadInput();
  ASSERT_EQ(r.outcome.kind, Kind::InputRejected);
  const std::string msg = "inp_A: nx = 0, the number of elements along x must be at least 1";
  EXPECT_EQ(r.outcome.message, msg);
  EXPECT_EQ(r.log,
            "\n Global # elements  in x-direction nx =     0\n"
            " Global # elements  in y-direction ny =     8\n" +
                rejection(msg) + "\n");
}

TEST(Deck, NegativeNyIsRejected) {
  ScratchDir dir;
  TestDeck d;
  d.ny = -3;
  writeRun(d);
  const InputRun r = runReadInput();
  ASSERT_EQ(r.outcome.kind, Kind::InputRejected);
  EXPECT_EQ(r.outcome.message, "inp_A: ny = -3, the number of elements along y must be at least 1");
  EXPECT_EQ(lastLines(r.log, 2)[0], " Global # elements  in y-direction ny =    -3");
}

TEST(Deck, ZeroXsizeIsRejectedAfterItsEcho) {
  ScratchDir dir;
  TestDeck d;
  d.xsize = 0.0;
  writeRun(d);
  const InputRun r = runReadInput();
  ASSERT_EQ(r.outcome.kind, Kind::InputRejected);
  const std::string msg = "inp_A: xsize = 0, the domain size must be positive";
  EXPECT_EQ(r.outcome.message, msg);
  EXPECT_EQ(
      lastLines(r.log, 2),
      (std::vector<std::string>{"  domain size xsize =       0.00000000E+00 m", rejection(msg)}));
}

TEST(Deck, NegativeYsizeIsRejectedAfterItsEcho) {
  ScratchDir dir;
  TestDeck d;
  d.ysize = -40.0;
  writeRun(d);
  const InputRun r = runReadInput();
  ASSERT_EQ(r.outcome.kind, Kind::InputRejected);
  const std::string msg = "inp_A: ysize = -40, the domain size must be positive";
  EXPECT_EQ(r.outcome.message, msg);
  EXPECT_EQ(
      lastLines(r.log, 2),
      (std::vector<std::string>{"  domain size ysize =      -0.40000000E+02 m", rejection(msg)}));
}

TEST(Deck, FourFrequencySnapshotsStopWith5183BeforeTheHeaderEcho) {
  ScratchDir dir;
  TestDeck d;
  d.nsnapf = 4;
  d.fsnap = {10.0, 20.0, 30.0, 40.0};
  writeRun(d);
  const InputRun r = runReadInput();
  ASSERT_EQ(r.outcome.kind, Kind::Stopped);
  EXPECT_EQ(r.outcome.code, 5183);
  EXPECT_EQ(lastLines(r.log, 3),
            (std::vector<std::string>{"  rounded xsize =       0.50000000E+02 m ; ",
                                      " rounded ysize =       0.40000000E+02 m ", ""}));
}

TEST(Deck, TwentySixTimeSnapshotsStopWith6183) {
  ScratchDir dir;
  TestDeck d;
  d.nsnapt = 26;
  d.tsnap.assign(26, 0.01);
  writeRun(d);
  const InputRun r = runReadInput();
  ASSERT_EQ(r.outcome.kind, Kind::Stopped);
  EXPECT_EQ(r.outcome.code, 6183);
  EXPECT_EQ(lastLines(r.log, 2)[0], " rounded ysize =       0.40000000E+02 m ");
}

TEST(Deck, EmptySnapshotListsConsumeOneLineEach) {
  ScratchDir dir;
  TestDeck d;
  d.nsnapf = 0;
  d.nsnapt = -2;
  writeRun(d);
  const InputRun r = runReadInput();
  ASSERT_EQ(r.outcome.kind, Kind::Returned) << r.outcome.message;
  EXPECT_EQ(r.par.nsnapt, -2);
  EXPECT_NE(r.log.find("\n  number of snapshots in freq. domain=     0\n\n"
                       "  freq. to compute  snapshots in freq.domain\n\n\n"
                       "  number of snapshots in time domain=    -2\n"),
            std::string::npos);
  EXPECT_EQ(r.par.maxiter, 20);  // the entries after the lists are read in place
}

TEST(Deck, TwentyOneMaterialsStopWith222AfterTheReducEcho) {
  ScratchDir dir;
  TestDeck d;
  d.nmat = 21;
  writeRun(d);
  const InputRun r = runReadInput();
  ASSERT_EQ(r.outcome.kind, Kind::Stopped);
  EXPECT_EQ(r.outcome.code, 222);
  EXPECT_EQ(lastLines(r.log, 1)[0], "   reduc =  relative error required        0.10000000E-02");
}

TEST(Deck, FrequencyOneGivesW0TwoPiAndAlfa158) {
  ScratchDir dir;
  TestDeck d;
  d.freq = 1.0;
  d.key = 4;
  writeRun(d);
  const InputRun r = runReadInput();
  ASSERT_EQ(r.outcome.kind, Kind::Returned) << r.outcome.message;
  EXPECT_NE(r.log.find("\n  w0 =       0.62831853E+01  alfa =       0.15800000E+01\n\n\n"),
            std::string::npos);
}

TEST(Deck, NpfBelowOneIsRejectedAfterItsEcho) {
  ScratchDir dir;
  TestDeck d;
  d.npf = 0;
  writeRun(d);
  const InputRun r = runReadInput();
  ASSERT_EQ(r.outcome.kind, Kind::InputRejected);
  const std::string msg = "inp_A: npf = 0, the frequency axis needs at least 1 point";
  EXPECT_EQ(r.outcome.message, msg);
  EXPECT_EQ(lastLines(r.log, 2),
            (std::vector<std::string>{" in the frequency domain    npf  =     0", rejection(msg)}));
}

TEST(Deck, WaveletTypeOutsideOneToFourIsRejectedAfterItsEcho) {
  for (int key : {0, 5}) {
    ScratchDir dir;
    TestDeck d;
    d.key = key;
    writeRun(d);
    const InputRun r = runReadInput();
    ASSERT_EQ(r.outcome.kind, Kind::InputRejected);
    const std::string msg =
        "inp_A: key = " + std::to_string(key) + ", the wavelet type must be 1, 2, 3 or 4";
    EXPECT_EQ(r.outcome.message, msg);
    const std::vector<std::string> tail = lastLines(r.log, 4);
    EXPECT_EQ(tail[0], "       key==2 for type 2 source(gaussian derivative)             ;    " +
                           std::to_string(key));
    EXPECT_EQ(tail[3], rejection(msg));
  }
}

TEST(Deck, NonPositiveF4IsRejectedAfterTheBandPassEcho) {
  ScratchDir dir;
  TestDeck d;
  d.f4 = 0.0;
  writeRun(d);
  const InputRun r = runReadInput();
  ASSERT_EQ(r.outcome.kind, Kind::InputRejected);
  const std::string msg =
      "inp_A: f4 = 0 kHz, the highest corner frequency must be positive (it fixes the "
      "frequency step f4 / npf)";
  EXPECT_EQ(r.outcome.message, msg);
  const std::vector<std::string> tail = lastLines(r.log, 4);
  EXPECT_EQ(tail[0], " f4  =       0.00000000E+00   khz ");
  EXPECT_EQ(tail[3], rejection(msg));
}

TEST(Deck, FewerThanTwoMaterialsAreRejectedAfterTheNmatEcho) {
  ScratchDir dir;
  TestDeck d;
  d.nmat = 1;
  writeRun(d);
  const InputRun r = runReadInput();
  ASSERT_EQ(r.outcome.kind, Kind::InputRejected);
  const std::string msg =
      "inp_A: nmat = 1, at least 2 materials are needed (the isotropic tables hold materials "
      "1 .. nmat-1)";
  EXPECT_EQ(r.outcome.message, msg);
  EXPECT_EQ(lastLines(r.log, 2),
            (std::vector<std::string>{"  number of materials (nmat) =     1", rejection(msg)}));
}

TEST(Deck, MissingTerminatorEndsAtTheEndOfTheDeck) {
  ScratchDir dir;
  TestDeck d;
  d.terminator = false;
  writeRun(d);
  const InputRun r = runReadInput();
  EXPECT_EQ(r.outcome.kind, Kind::IoFailed);
  EXPECT_NE(r.outcome.message.find("inp_A"), std::string::npos) << r.outcome.message;
}

}  // namespace
}  // namespace swtest

// Source element and receiver line.

#include <gtest/gtest.h>

#include "input/placement.hpp"
#include "support/input_harness.hpp"

namespace swtest {
namespace {

using Kind = Outcome::Kind;

TEST(ElementIndex, TruncatesTowardZero) {
  EXPECT_EQ(sw::elementIndex(0.0, 10.0), 1);
  EXPECT_EQ(sw::elementIndex(9.99, 10.0), 1);
  EXPECT_EQ(sw::elementIndex(10.0, 10.0), 2);
  EXPECT_EQ(sw::elementIndex(100.0, 10.0), 11);
  EXPECT_EQ(sw::elementIndex(-5.0, 10.0), 0);   // int(0.5)
  EXPECT_EQ(sw::elementIndex(-15.0, 10.0), 0);  // int(-0.5): toward zero, not down
  EXPECT_EQ(sw::elementIndex(-25.0, 10.0), -1);
  EXPECT_EQ(sw::elementIndex(1.0e300, 10.0), 2147483647);
}

/// A 10 x 10 grid of 10 m elements.
TestDeck grid10() {
  TestDeck d;
  d.nx = 10;
  d.ny = 10;
  d.xsize = 100.0;
  d.ysize = 100.0;
  d.regions = {{0.0, 100.0, 0.0, 100.0, 1}};
  d.f4 = 100.0;  // below the Nyquist frequency of dt = 10 / 3000
  return d;
}

TEST(Source, PointOnTheFarEdgeIsOutsideTheGrid) {
  ScratchDir dir;
  TestDeck d = grid10();
  d.xsou = 100.0;  // nx h gives jsou = nx + 1
  writeRun(d);
  const InputRun r = runReadInput();
  ASSERT_EQ(r.outcome.kind, Kind::Stopped);
  EXPECT_EQ(r.outcome.code, 666);
  EXPECT_EQ(lastLines(r.log, 5),
            (std::vector<std::string>{"   mute in msec  tmute =       0.10000000E-01",
                                      " mute in samples   ntmute =     3", "", "",
                                      "  wrong jsou =    11"}));
}

TEST(Source, NegativeXsouStopsWith666) {
  ScratchDir dir;
  TestDeck d = grid10();
  d.xsou = -15.0;
  d.ysou = -15.0;  // both wrong: jsou is tested first
  writeRun(d);
  const InputRun r = runReadInput();
  ASSERT_EQ(r.outcome.kind, Kind::Stopped);
  EXPECT_EQ(r.outcome.code, 666);
  EXPECT_EQ(lastLines(r.log, 1)[0], "  wrong jsou =     0");
}

TEST(Source, KsouOutsideTheGridStopsWith666) {
  ScratchDir dir;
  TestDeck d = grid10();
  d.xsou = 99.9;
  d.ysou = 100.0;
  writeRun(d);
  const InputRun r = runReadInput();
  ASSERT_EQ(r.outcome.kind, Kind::Stopped);
  EXPECT_EQ(r.outcome.code, 666);
  EXPECT_EQ(lastLines(r.log, 2), (std::vector<std::string>{"", "  wrong ksou =    11"}));
}

TEST(Source, EchoesElementPositionAndReceiverCount) {
  ScratchDir dir;
  TestDeck d = grid10();
  d.xsou = 0.0;
  d.ysou = 9.99;
  writeRun(d);
  const InputRun r = runReadInput();
  ASSERT_EQ(r.outcome.kind, Kind::Returned) << r.outcome.message;
  EXPECT_EQ(r.par.jsou, 1);
  EXPECT_EQ(r.par.ksou, 1);
  EXPECT_EQ(r.par.kdel, 1);
  EXPECT_NE(r.log.find("\n  kdel=0 : delta, kdel = 1:  d/dx(delta). kdel =      1\n"),
            std::string::npos);
  EXPECT_NE(r.log.find("\n  jsou =     1  ksou =     1\n\n"
                       "  xsou =       0.00000000E+00 m ysou =       0.99900000E+01 m\n\n"
                       "  number of receivers, nrec =     3\n"),
            std::string::npos);
}

TEST(Receivers, MoreThan200StopWith9920BeforeTheSourceChecks) {
  ScratchDir dir;
  TestDeck d = grid10();
  d.nrec = 201;
  d.xsou = 1000.0;  // would stop with 666
  writeRun(d);
  const InputRun r = runReadInput();
  ASSERT_EQ(r.outcome.kind, Kind::Stopped);
  EXPECT_EQ(r.outcome.code, 9920);
  EXPECT_EQ(lastLines(r.log, 2)[0], " mute in samples   ntmute =     3");
}

TEST(Receivers, SingleReceiverEchoesTheLineThenStopsPlainly) {
  ScratchDir dir;
  TestDeck d = grid10();
  d.nrec = 1;
  writeRun(d);
  const InputRun r = runReadInput();
  ASSERT_EQ(r.outcome.kind, Kind::Stopped);
  EXPECT_FALSE(r.outcome.code.has_value());
  const std::vector<std::string> tail = lastLines(r.log, 9);
  EXPECT_EQ(tail[0], "  number of receivers, nrec =     1");
  EXPECT_EQ(tail[1].rfind("  xinic ", 0), 0u) << tail[1];
  EXPECT_EQ(tail[3].rfind("  yinic ", 0), 0u) << tail[3];
  EXPECT_EQ(tail[5].rfind("  xfin ", 0), 0u) << tail[5];
  EXPECT_EQ(tail[7].rfind("  yfin ", 0), 0u) << tail[7];
  for (int k : {2, 4, 6, 8}) EXPECT_EQ(tail[k], "") << k;
}

TEST(Receivers, LineFromZeroToHundredAtFifty) {
  ScratchDir dir;
  TestDeck d = grid10();
  d.nrec = 3;
  d.xinic = 0.0;
  d.xfin = 100.0;
  d.yinic = 50.0;
  d.yfin = 50.0;
  writeRun(d);
  const InputRun r = runReadInput();
  ASSERT_EQ(r.outcome.kind, Kind::Returned) << r.outcome.message;
  EXPECT_EQ(r.par.nrec, 3);
  EXPECT_EQ(r.par.irx(1), 1);
  EXPECT_EQ(r.par.irx(2), 6);
  EXPECT_EQ(r.par.irx(3), 11);
  for (int i = 1; i <= 3; ++i) EXPECT_EQ(r.par.iry(i), 6);
  EXPECT_NE(r.log.find("\n receiver i =    2   irx & iry =     6    6\n"
                       "               rx(i) & ry(i) =   50.000000      50.000000      m\n"),
            std::string::npos);
  EXPECT_NE(r.log.find("\n receiver i =    3   irx & iry =    11    6\n"), std::string::npos);
  EXPECT_EQ(r.log.find("nx+1"), std::string::npos);  // on the far edge: no warning
}

TEST(Receivers, OutsideTheGridOnlyWarn) {
  ScratchDir dir;
  TestDeck d = grid10();
  d.nrec = 2;
  d.xinic = 100.0;
  d.xfin = 110.0;
  d.yinic = -20.0;
  d.yfin = 115.0;
  writeRun(d);
  const InputRun r = runReadInput();
  ASSERT_EQ(r.outcome.kind, Kind::Returned) << r.outcome.message;
  EXPECT_EQ(r.par.irx(1), 11);
  EXPECT_EQ(r.par.irx(2), 12);
  EXPECT_EQ(r.par.iry(1), -1);
  EXPECT_EQ(r.par.iry(2), 12);
  EXPECT_NE(r.log.find("\n receiver i =    1   irx & iry =    11   -1\n"
                       "               rx(i) & ry(i) =   100.00000     -20.000000      m\n\n"
                       " receiver i =    1    iry(i)  =    -1ny+1  =    11\n\n"
                       " receiver i =    2   irx & iry =    12   12\n"
                       "               rx(i) & ry(i) =   110.00000      115.00000      m\n\n"
                       " receiver i =    2   irx(i)  =    12nx+1  =    11\n\n"
                       " receiver i =    2    iry(i)  =    12ny+1  =    11\n"),
            std::string::npos)
      << r.log;
}

}  // namespace
}  // namespace swtest

// Source element and receiver line.

#include <gtest/gtest.h>

#include "input/placement.hpp"
#include "support/input_harness.hpp"

namespace sw::test {
namespace {

using Kind = Outcome::Kind;

TEST(ElementIndex, TruncatesTowardZero) {
  EXPECT_EQ(elementIndex(0.0, 10.0), 1);
  EXPECT_EQ(elementIndex(9.99, 10.0), 1);
  EXPECT_EQ(elementIndex(10.0, 10.0), 2);
  EXPECT_EQ(elementIndex(100.0, 10.0), 11);
  EXPECT_EQ(elementIndex(-5.0, 10.0), 0);   // int(0.5)
  EXPECT_EQ(elementIndex(-15.0, 10.0), 0);  // int(-0.5): toward zero, not down
  EXPECT_EQ(elementIndex(-25.0, 10.0), -1);
  EXPECT_EQ(elementIndex(1.0e300, 10.0), 2147483647);
}

TEST(Source, EchoesElementPositionAndReceiverCount) {
  ScratchDir dir;
  TestDeck d;
  grid10(d);
  d.xsou = 0.0;
  d.ysou = 9.99;
  const InputRun r = readDeck(d);
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

TEST(Receivers, LineFromZeroToHundredAtFifty) {
  ScratchDir dir;
  TestDeck d;
  grid10(d);
  d.nrec = 3;
  d.xinic = 0.0;
  d.xfin = 100.0;
  d.yinic = 50.0;
  d.yfin = 50.0;
  const InputRun r = readDeck(d);
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
  TestDeck d;
  grid10(d);
  d.nrec = 2;
  d.xinic = 100.0;
  d.xfin = 110.0;
  d.yinic = -20.0;
  d.yfin = 115.0;
  const InputRun r = readDeck(d);
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
}  // namespace sw::test

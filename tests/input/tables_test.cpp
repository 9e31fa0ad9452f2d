// Material tables, phase velocities, time step, the material regions and the map.

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>

#include "input/tables.hpp"
#include "support/input_harness.hpp"

namespace swtest {
namespace {

using Kind = Outcome::Kind;

std::string rejection(const std::string& message) { return " input error: " + message; }

TEST(TableRecords, IsNpfOrOneLessWhenTheQuotientRoundsDown) {
  EXPECT_EQ(sw::tableRecords(0.1, 11), 10);
  EXPECT_EQ(sw::tableRecords(150.0, 6), 6);
  EXPECT_EQ(sw::tableRecords(2.0, 200), 200);
}

TEST(PhaseVelocity, RealModulusGivesItsSquareRoot) {
  // nf records of 2.25 + 0i with density 1.
  EXPECT_EQ(sw::phaseVelocity(sw::Cx{2.25 * 4, 0.0}, 4, 1.0), 1.5);
}

TEST(PhaseVelocity, ComplexModulusGivesMoreThanTheModulusRoot) {
  const double v = sw::phaseVelocity(sw::Cx{1.0, 1.0}, 1, 1.0);
  EXPECT_NEAR(v, 1.2871885058111652, 1e-15);
  EXPECT_GT(v, std::sqrt(std::sqrt(2.0)));
}

TEST(PhaseVelocity, DividesByNfBeforeTheDensity) {
  // (S / nf) / rho with S = 3 * 2 * 4, nf = 3, rho = 2: A = 4, v = 2.
  EXPECT_EQ(sw::phaseVelocity(sw::Cx{24.0, 0.0}, 3, 2.0), 2.0);
}

/// A run whose only P velocity is 50 and S velocity 30 (density 1), so dt = h / 50.
void writeSlowRun(const TestDeck& d, int nf) {
  d.write();
  IsoMaterial m;
  m.m = {2500.0, 0.0};
  m.g = {900.0, 0.0};
  m.rho = 1.0;
  writeIsoTables({m}, nf);
}

TEST(TimeStep, LongSimulationStopsWith999AfterTheNtEcho) {
  ScratchDir dir;
  TestDeck d;
  d.stime = 300.0;  // dt = 0.1, nt = 3000
  d.f4 = 2.0;
  writeSlowRun(d, 6);
  const InputRun r = runReadInput();
  ASSERT_EQ(r.outcome.kind, Kind::Stopped);
  EXPECT_EQ(r.outcome.code, 999);
  EXPECT_EQ(lastLines(r.log, 8),
            (std::vector<std::string>{"", "  time step  dt =       0.10000000E+00 msec", "", "", "",
                                      "  number of time steps  nt =   3000", "", ""}));
  EXPECT_EQ(r.log.back(), '\n');
}

TEST(TimeStep, HugeSimulationTimeStopsWith999) {
  ScratchDir dir;
  TestDeck d;
  d.stime = 1.0e300;
  writeRun(d);
  const InputRun r = runReadInput();
  ASSERT_EQ(r.outcome.kind, Kind::Stopped);
  EXPECT_EQ(r.outcome.code, 999);
  EXPECT_EQ(lastLines(r.log, 3)[0], "  number of time steps  nt = ******");
}

TEST(TimeStep, PointsPerWavelengthUseTheSlowestP) {
  ScratchDir dir;
  TestDeck d;
  d.freq = 0.5;
  d.stime = 5.0;
  d.f4 = 2.0;
  writeSlowRun(d, 6);
  const InputRun r = runReadInput();
  ASSERT_EQ(r.outcome.kind, Kind::Returned) << r.outcome.message;
  EXPECT_NE(r.log.find("\n Points per wavelenght    =    20\n"), std::string::npos);
  EXPECT_EQ(r.par.dt, 0.1);
  EXPECT_EQ(r.par.nt, 50);
}

TEST(Tables, ThreeMaterialsTakeTheExtremesOfAllFourPVelocities) {
  ScratchDir dir;
  TestDeck d;
  d.nmat = 3;
  d.regions = {{0.0, 50.0, 0.0, 40.0, 1}, {0.0, 10.0, 0.0, 10.0, 2}, {20.0, 30.0, 0.0, 10.0, 3}};
  d.write();
  IsoMaterial a, b;
  b.m = {1.0e7, 0.0};
  b.g = {4.0e6, 0.0};
  b.rho = 2.5;  // vp 2000, vs 1264.9
  writeIsoTables({a, b}, 6);
  AnisoMaterial c;
  c.p11 = {3.6e7, 0.0};  // horizontal 3872.98 with density 2.4
  c.p33 = {2.4e7, 0.0};  // vertical 3162.28
  c.p55 = {2.4e6, 0.0};  // SV 1000
  writeAnisoTables({c}, 6);
  const InputRun r = runReadInput();
  ASSERT_EQ(r.outcome.kind, Kind::Returned) << r.outcome.message;
  EXPECT_NE(r.log.find("\n minimum  phase pp velocity   =  0.20000E+04 m/sec\n\n"
                       " maximum  phase pp velocity  =  0.38730E+04 m/sec\n"),
            std::string::npos);
  EXPECT_NE(r.log.find("\n minimum  phase ss velocity   =  0.10000E+04 m/sec\n\n"
                       " maximum  phase ss velocity  =  0.17000E+04 m/sec\n"),
            std::string::npos);
  // The anisotropic density replaces nothing of materials 1 and 2; material 3 keeps its own.
  EXPECT_EQ(r.mat->rhob[1], 2.3);
  EXPECT_EQ(r.mat->rhob[2], 2.5);
  EXPECT_EQ(r.mat->rhob[3], 2.4);
  EXPECT_EQ(r.mat->p11w(3, 6).re, 3.6e7);
  EXPECT_EQ(r.mat->p_modulus(2, 1).re, 1.0e7);
  EXPECT_EQ(r.mat->p_modulus(3, 1).re, 0.0);  // material 3 has no isotropic tables
}

TEST(Tables, RecordsAreStoredFromTheHighestFrequencyIndexDown) {
  ScratchDir dir;
  TestDeck d;
  d.write();
  IsoMaterial a;
  a.mStep = {1.0e3, 10.0};
  a.gStep = {1.0e2, 1.0};
  writeIsoTables({a}, 6);
  const InputRun r = runReadInput();
  ASSERT_EQ(r.outcome.kind, Kind::Returned) << r.outcome.message;
  for (int j = 1; j <= 6; ++j) {
    EXPECT_EQ(r.mat->p_modulus(1, j), (sw::Cx{2.07e7 + j * 1.0e3, j * 10.0})) << j;
    EXPECT_EQ(r.mat->s_modulus(1, j), (sw::Cx{6.647e6 + j * 1.0e2, j * 1.0})) << j;
  }
  EXPECT_EQ(r.mat->p_modulus(1, 7), sw::Cx{});
}

TEST(Regions, FullDomainCoversExactlyTheGrid) {
  ScratchDir dir;
  TestDeck d;
  writeRun(d);
  const InputRun r = runReadInput();
  ASSERT_EQ(r.outcome.kind, Kind::Returned) << r.outcome.message;
  for (int j = 0; j <= 9; ++j)
    for (int i = 0; i <= 11; ++i) EXPECT_EQ(r.mat->matnum(i, j), 1) << i << "," << j;
  EXPECT_NE(r.log.find("\n  from  ixi (x-global grid #)    =     1\n"
                       " up to ixf (x-global grid #)    =    10\n"
                       " from  iyi (y-global grid #)    =     1\n"
                       " up to yf  (y-global grid #)    =     8\n"
                       " material type number  numat    =     1\n\n"),
            std::string::npos);
}

/// A run with three usable materials: 1 and 2 isotropic, 3 anisotropic.
void writeThreeMaterialRun(TestDeck d) {
  d.nmat = 3;
  writeRun(d);
}

TEST(Regions, LaterRegionsOverwriteEarlierOnes) {
  ScratchDir dir;
  TestDeck d;
  d.regions = {{0.0, 50.0, 0.0, 40.0, 1}, {10.0, 30.0, 10.0, 30.0, 2}, {20.0, 40.0, 20.0, 40.0, 3}};
  writeThreeMaterialRun(d);
  const InputRun r = runReadInput();
  ASSERT_EQ(r.outcome.kind, Kind::Returned) << r.outcome.message;
  const sw::Grid<int>& m = r.mat->matnum;
  EXPECT_EQ(m(2, 2), 1);
  EXPECT_EQ(m(3, 3), 2);  // only the second region
  EXPECT_EQ(m(5, 5), 3);  // overlap of the second and third: the third wins
  EXPECT_EQ(m(4, 4), 2);
  EXPECT_EQ(m(8, 8), 3);
  EXPECT_EQ(m(9, 8), 1);
}

TEST(Regions, HaloCopiesTheNearestElementIntoCornersAndSides) {
  ScratchDir dir;
  TestDeck d;
  d.regions = {{0.0, 50.0, 0.0, 40.0, 1},
               {0.0, 5.0, 0.0, 5.0, 2},
               {45.0, 50.0, 35.0, 40.0, 3},
               {0.0, 5.0, 35.0, 40.0, 3}};
  writeThreeMaterialRun(d);
  const InputRun r = runReadInput();
  ASSERT_EQ(r.outcome.kind, Kind::Returned) << r.outcome.message;
  const sw::Grid<int>& m = r.mat->matnum;
  EXPECT_EQ(m(0, 0), 2);
  EXPECT_EQ(m(1, 0), 2);
  EXPECT_EQ(m(0, 1), 2);
  EXPECT_EQ(m(11, 9), 3);
  EXPECT_EQ(m(0, 9), 3);
  EXPECT_EQ(m(11, 0), 1);
  for (int j = 2; j <= 7; ++j) {
    EXPECT_EQ(m(0, j), 1);
    EXPECT_EQ(m(11, j), 1);
  }
}

TEST(Regions, RegionWithoutElementCentreChangesNothingSilently) {
  ScratchDir dir;
  TestDeck d;
  d.regions = {{0.0, 50.0, 0.0, 40.0, 1}, {5.5, 7.0, 0.0, 40.0, 2}};  // 1.1 h to 1.4 h
  writeThreeMaterialRun(d);
  const InputRun r = runReadInput();
  ASSERT_EQ(r.outcome.kind, Kind::Returned) << r.outcome.message;
  EXPECT_NE(r.log.find("\n  from  ixi (x-global grid #)    =     2\n"
                       " up to ixf (x-global grid #)    =     1\n"),
            std::string::npos);
  EXPECT_EQ(r.log.find("wrong"), std::string::npos);
  for (int j = 1; j <= 8; ++j)
    for (int i = 1; i <= 10; ++i) EXPECT_EQ(r.mat->matnum(i, j), 1);
}

struct RegionFault {
  const char* name;
  Region region;
  std::string line;
};

void PrintTo(const RegionFault& f, std::ostream* os) { *os << f.name; }

class RegionChecks : public ::testing::TestWithParam<RegionFault> {};

TEST_P(RegionChecks, WriteTheirLineAndStopPlainly) {
  ScratchDir dir;
  TestDeck d;
  d.regions = {{0.0, 50.0, 0.0, 40.0, 1}, GetParam().region};
  writeRun(d);
  const InputRun r = runReadInput();
  ASSERT_EQ(r.outcome.kind, Kind::Stopped);
  EXPECT_FALSE(r.outcome.code.has_value());
  EXPECT_EQ(lastLines(r.log, 3), (std::vector<std::string>{"", "", GetParam().line}));
}

INSTANTIATE_TEST_SUITE_P(
    AllFive, RegionChecks,
    ::testing::Values(
        RegionFault{"Ixi", {60.0, 70.0, 0.0, 40.0, 1}, "  wrong material description  ixi =    13"},
        RegionFault{
            "Iyi", {0.0, 50.0, -10.0, 40.0, 1}, "  wrong material description  iyi =     0"},
        RegionFault{"Ixf", {0.0, 60.0, 0.0, 40.0, 1}, "  wrong material description  ixf =    12"},
        RegionFault{"Iyf", {0.0, 50.0, 0.0, 100.0, 1}, "  wrong material description  iyf =    20"},
        RegionFault{
            "NumatAboveNmat", {0.0, 50.0, 0.0, 40.0, 3}, "  wrong material number numat  =     3"},
        RegionFault{
            "NumatZero", {0.0, 50.0, 0.0, 40.0, 0}, "  wrong material number numat  =     0"}),
    [](const ::testing::TestParamInfo<RegionFault>& info) { return std::string(info.param.name); });

TEST(Regions, ChecksRunInTheirOrder) {
  ScratchDir dir;
  TestDeck d;
  d.regions = {{60.0, 70.0, -10.0, 100.0, 7}};  // every check would fail: ixi is first
  writeRun(d);
  const InputRun r = runReadInput();
  ASSERT_EQ(r.outcome.kind, Kind::Stopped);
  EXPECT_EQ(lastLines(r.log, 1)[0], "  wrong material description  ixi =    13");
}

TEST(Regions, UncoveredElementIsRejectedAfterTheMapIsComplete) {
  ScratchDir dir;
  TestDeck d;
  d.regions = {{0.0, 25.0, 0.0, 40.0, 1}};
  writeRun(d);
  const InputRun r = runReadInput();
  ASSERT_EQ(r.outcome.kind, Kind::InputRejected);
  const std::string msg = "inp_A: element (6, 1) lies in no material region (material number 0)";
  EXPECT_EQ(r.outcome.message, msg);
  EXPECT_EQ(lastLines(r.log, 3), (std::vector<std::string>{" material type number  numat  =     0",
                                                           "", rejection(msg)}));
}

TEST(Regions, IsotropicElementWithoutTablesIsRejected) {
  ScratchDir dir;
  TestDeck d;
  d.regions = {{0.0, 50.0, 0.0, 40.0, 1}, {10.0, 20.0, 10.0, 20.0, 2}};  // nmat 2: no tables
  writeRun(d);
  const InputRun r = runReadInput();
  ASSERT_EQ(r.outcome.kind, Kind::InputRejected);
  EXPECT_EQ(r.outcome.message,
            "inp_A: element (3, 3) has material 2, which is treated as isotropic but has no "
            "isotropic tables (they hold materials 1 .. nmat-1 = 1)");
}

TEST(Regions, HighestMaterialOfFourHasOnlyAnisotropicTables) {
  ScratchDir dir;
  TestDeck d;
  d.nmat = 4;
  d.regions = {{0.0, 50.0, 0.0, 40.0, 1}, {10.0, 20.0, 10.0, 20.0, 4}};
  writeRun(d);
  const InputRun r = runReadInput();
  ASSERT_EQ(r.outcome.kind, Kind::InputRejected);
  EXPECT_NE(r.outcome.message.find("has material 4"), std::string::npos);
}

TEST(Regions, MaterialThreeOfFourTakesTheRotatedTables) {
  ScratchDir dir;
  TestDeck d;
  d.nmat = 4;
  d.regions = {{0.0, 50.0, 0.0, 40.0, 1}, {10.0, 20.0, 10.0, 20.0, 3}, {0.0, 5.0, 0.0, 5.0, 2}};
  writeRun(d);
  const InputRun r = runReadInput();
  ASSERT_EQ(r.outcome.kind, Kind::Returned) << r.outcome.message;
  EXPECT_EQ(r.mat->matnum(3, 3), 3);
  // Material 3 is read from both sets of tables; the anisotropic density remains.
  EXPECT_EQ(r.mat->rhob[3], 2.4);
  EXPECT_EQ(r.mat->p_modulus(3, 1).re, 2.07e7);
}

}  // namespace
}  // namespace swtest

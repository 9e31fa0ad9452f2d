// Material tables, phase velocities and the time step they give.

#include "input/tables.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "support/input_harness.hpp"

namespace sw::test {
namespace {

TEST(TableRecords, IsNpfOrOneLessWhenTheQuotientRoundsDown) {
  EXPECT_EQ(tableRecords(0.1, 11), 10);
  EXPECT_EQ(tableRecords(150.0, 6), 6);
  EXPECT_EQ(tableRecords(2.0, 200), 200);
}

TEST(PhaseVelocity, IsOneOverTheRealPartOfTheInverseRoot) {
  EXPECT_EQ(phaseVelocity(Cx{2.25 * 4, 0.0}, 4, 1.0), 1.5);
  EXPECT_EQ(phaseVelocity(Cx{24.0, 0.0}, 3, 2.0), 2.0);  // (sum / nf) / rho
  const double v = phaseVelocity(Cx{1.0, 1.0}, 1, 1.0);  // attenuation raises it
  EXPECT_NEAR(v, 1.2871885058111652, 1e-15);
  EXPECT_GT(v, std::sqrt(std::sqrt(2.0)));
}

TEST(TimeStep, PointsPerWavelengthUseTheSlowestP) {
  ScratchDir dir;
  TestDeck d;
  d.freq = 0.5;
  d.stime = 5.0;
  d.f4 = 2.0;
  const InputRun r = readDeck(d, true);
  ASSERT_EQ(r.outcome.kind, Outcome::Kind::Returned) << r.outcome.message;
  EXPECT_NE(r.log.find("\n Points per wavelenght    =    20\n"), std::string::npos);
  EXPECT_EQ(r.par.dt, 0.1);
  EXPECT_EQ(r.par.nt, 50);
}

TEST(Tables, VelocityExtremesCoverTheIsotropicAndAnisotropicMaterials) {
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
  ASSERT_EQ(r.outcome.kind, Outcome::Kind::Returned) << r.outcome.message;
  EXPECT_NE(r.log.find("\n minimum  phase pp velocity   =  0.20000E+04 m/sec\n\n"
                       " maximum  phase pp velocity  =  0.38730E+04 m/sec\n"),
            std::string::npos);
  EXPECT_NE(r.log.find("\n minimum  phase ss velocity   =  0.10000E+04 m/sec\n\n"
                       " maximum  phase ss velocity  =  0.17000E+04 m/sec\n"),
            std::string::npos);
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
  ASSERT_EQ(r.outcome.kind, Outcome::Kind::Returned) << r.outcome.message;
  for (int j = 1; j <= 6; ++j) {
    EXPECT_EQ(r.mat->p_modulus(1, j), (Cx{2.07e7 + j * 1.0e3, j * 10.0})) << j;
    EXPECT_EQ(r.mat->s_modulus(1, j), (Cx{6.647e6 + j * 1.0e2, j * 1.0})) << j;
  }
  EXPECT_EQ(r.mat->p_modulus(1, 7), Cx{});
}

}  // namespace
}  // namespace sw::test

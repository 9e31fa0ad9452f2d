// A mixed model of our own (two isotropic materials and the rotated anisotropic one,
// overlapping regions, a region without element centre, wavelet type 4, a receiver
// beyond the grid): the complete input echo and the four wavelet files.

#include <gtest/gtest.h>

#include "support/input_harness.hpp"

namespace sw::test {
namespace {

TEST(OwnDeck, MixedModelEchoAndWaveletFiles) {
  const fs::path caseDir = dataDir() / "input" / "mixed_model";
  ScratchDir dir;
  for (const auto& e : fs::directory_iterator(caseDir / "input"))
    fs::copy_file(e.path(), dir.path() / e.path().filename());

  const InputRun r = runReadInput();
  ASSERT_EQ(r.outcome.kind, Outcome::Kind::Returned) << r.outcome.message;
  EXPECT_EQ(r.log, readBytes(caseDir / "expected" / "output"));
  for (const char* w :
       {"fuente_sin_filtrar", "fuente_filtrada", "espectro_sin_filtrar", "espectro_filtrado"})
    EXPECT_EQ(readBytes(w), readBytes(caseDir / "expected" / w)) << w;

  EXPECT_EQ(r.par.nx, 16);
  EXPECT_EQ(r.par.ny, 12);
  EXPECT_EQ(r.par.h, 5.0);
  EXPECT_EQ(r.par.jw2, 8);
  EXPECT_EQ(r.par.nrec, 5);
  EXPECT_EQ(r.par.irx(5), 18);  // beyond nx + 1: warned, kept
  EXPECT_EQ(r.mat->matnum(5, 3), 2);
  EXPECT_EQ(r.mat->matnum(9, 5), 3);  // overlap: the later region wins
  EXPECT_EQ(r.mat->matnum(2, 12), 1);
  EXPECT_EQ(r.mat->rhob[3], 2.4);  // the density of the last anisotropic table remains
}

}  // namespace
}  // namespace sw::test

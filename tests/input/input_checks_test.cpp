// Input that runs in the established program but cannot give a meaningful result is
// rejected before the first frequency, naming the file, material, frequency index or
// deck line; input that runs but may not mean what was intended is warned about.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "core/warning.hpp"
#include "support/input_harness.hpp"

namespace sw::test {
namespace {

using Kind = Outcome::Kind;
using sw::Cx;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kSubnormal = 1e-310;

/// A run of the test deck whose tables (two isotropic materials and, with nmat 3, the
/// anisotropic one) a case may change.
struct Model {
  TestDeck deck;
  std::vector<IsoMaterial> iso{IsoMaterial{}, IsoMaterial{}};
  std::vector<AnisoMaterial> aniso{AnisoMaterial{}};

  Model() {
    deck.nmat = 3;
  }
  void write() const {
    deck.write();
    writeIsoTables(iso, deck.npf);
    writeAnisoTables(aniso, deck.npf);
  }
};

struct Rejected {
  const char* name;
  std::function<void(Model&)> change;
  const char* message;
};

class InputCheck : public testing::TestWithParam<Rejected> {};

TEST_P(InputCheck, RejectsBeforeTheFirstFrequency) {
  ScratchDir dir;
  Model model;
  GetParam().change(model);
  model.write();
  const InputRun r = runReadInput();
  ASSERT_EQ(r.outcome.kind, Kind::InputRejected) << r.outcome.message;
  EXPECT_EQ(r.outcome.message, GetParam().message);
  // The log ends with the reason, as for the other input errors.
  EXPECT_EQ(lastLines(r.log, 1)[0], std::string(" input error: ") + GetParam().message);
}

const Rejected kRejected[] = {
    // Densities: finite, positive, normal.
    {"DensityNaN", [](Model& m) { m.iso[1].rho = kNaN; },
     "bulk_density.mat: the density of material 2, nan, is not finite; densities must be "
     "positive"},
    {"DensityZero", [](Model& m) { m.iso[0].rho = 0.0; },
     "bulk_density.mat: the density of material 1, 0, is zero; densities must be positive"},
    {"DensityNegative", [](Model& m) { m.iso[0].rho = -2.3; },
     "bulk_density.mat: the density of material 1, -2.3, is negative; densities must be "
     "positive"},
    {"DensitySubnormal", [](Model& m) { m.iso[1].rho = kSubnormal; },
     "bulk_density.mat: the density of material 2, 1e-310, is subnormal; densities must be "
     "positive"},
    {"AnisotropicDensityZero", [](Model& m) { m.aniso[0].rho = 0.0; },
     "p66_interp.freq: the density of material 3, 0, is zero; densities must be positive"},
    // Isotropic moduli.
    {"PModulusNaN",
     [](Model& m) {
       m.iso[0].m = Cx{kNaN, 0.0};
     },
     "p_modulus.freq: material 1, frequency index 6: the P-wave modulus M (nan, 0) is not "
     "finite"},
    {"PModulusZero",
     [](Model& m) {
       m.iso[1].m = Cx{0.0, 0.0};
     },
     "p_modulus.freq: material 2, frequency index 6: the real part of the P-wave modulus M "
     "(0, 0) is zero; moduli must be positive"},
    {"ShearModulusNegative",
     [](Model& m) {
       m.iso[0].g = Cx{-6.647e6, 0.0};
     },
     "s_modulus.freq: material 1, frequency index 6: the real part of the shear modulus G "
     "(-6647000, 0) is negative; moduli must be positive"},
    {"ShearModulusSubnormal",
     [](Model& m) {
       m.iso[0].g = Cx{kSubnormal, 0.0};
     },
     "s_modulus.freq: material 1, frequency index 6: the real part of the shear modulus G "
     "(1e-310, 0) is subnormal; moduli must be positive"},
    {"SVelocityAbovePVelocity",
     [](Model& m) {
       m.iso[1].g = Cx{2.2e7, 0.0};
     },
     "s_modulus.freq: material 2, frequency index 6: the shear modulus G = 22000000 is not "
     "below the P-wave modulus M = 20700000 (an S velocity at or above the P velocity): the "
     "stiffness is not positive definite, which needs M - G > 0"},
    {"ModulusGrowingIndefiniteAtOneIndex",
     [](Model& m) {
       // G = 1.3e7 - 2e6 j: fine at the highest indices, read first; equal to M at 3.
       m.iso[0].m = Cx{7.0e6, 0.0};
       m.iso[0].g = Cx{1.3e7, 0.0};
       m.iso[0].gStep = Cx{-2.0e6, 0.0};
     },
     "s_modulus.freq: material 1, frequency index 3: the shear modulus G = 7000000 is not "
     "below the P-wave modulus M = 7000000 (an S velocity at or above the P velocity): the "
     "stiffness is not positive definite, which needs M - G > 0"},
    {"PModulusAttenuationOfTheOtherSign",
     [](Model& m) {
       m.iso[0].m = Cx{2.07e7, -3.0e5};
     },
     "p_modulus.freq: material 1, frequency index 6: the P-wave modulus M (20700000, "
     "-300000) has a negative imaginary part: with the time dependence exp(+i w t) of this "
     "program an attenuating modulus has a positive one, so the table seems to follow "
     "exp(-i w t) (take the complex conjugate)"},
    {"ShearModulusAttenuationOfTheOtherSign",
     [](Model& m) {
       m.iso[1].g = Cx{6.647e6, -1.0};
     },
     "s_modulus.freq: material 2, frequency index 6: the shear modulus G (6647000, -1) has a "
     "negative imaginary part: with the time dependence exp(+i w t) of this program an "
     "attenuating modulus has a positive one, so the table seems to follow exp(-i w t) (take "
     "the complex conjugate)"},
    // Anisotropic stiffness.
    {"C11Zero",
     [](Model& m) {
       m.aniso[0].p11 = Cx{0.0, 0.0};
     },
     "p11_interp.freq: material 3, frequency index 6: the real part of C11 (0, 0) is "
     "zero; moduli must be positive"},
    {"C33NaN",
     [](Model& m) {
       m.aniso[0].p33 = Cx{1.9e7, kNaN};
     },
     "p33_interp.freq: material 3, frequency index 6: C33 (19000000, nan) is not finite"},
    {"C55Negative",
     [](Model& m) {
       m.aniso[0].p55 = Cx{-5.0e6, 4.0e4};
     },
     "p55_interp.freq: material 3, frequency index 6: the real part of C55 (-5000000, "
     "40000) is negative; moduli must be positive"},
    {"C13MakesTheStiffnessIndefinite",
     [](Model& m) {
       m.aniso[0].p13 = Cx{9.0e7, 1.0e5};
     },
     "p13_interp.freq: material 3, frequency index 6: C11 C33 - C13^2 = -7.625e+15 with C11 "
     "= 25000000, C13 = 90000000, C33 = 19000000 is not positive: the plane-strain stiffness "
     "is not positive definite"},
    {"C55AttenuationOfTheOtherSign",
     [](Model& m) {
       m.aniso[0].p55 = Cx{5.0e6, -4.0e4};
     },
     "p55_interp.freq: material 3, frequency index 6: C55 (5000000, -40000) has a "
     "negative imaginary part: with the time dependence exp(+i w t) of this program an "
     "attenuating modulus has a positive one, so the table seems to follow exp(-i w t) (take "
     "the complex conjugate)"},
    {"C66Infinite",
     [](Model& m) {
       m.aniso[0].p66 = Cx{HUGE_VAL, 5.0e4};
     },
     "p66_interp.freq: material 3, frequency index 6: C66 (inf, 50000) is not finite"},
    // Deck values.
    {"NegativeDominantFrequency", [](Model& m) { m.deck.freq = -40.0; },
     "inp_A: freq = -40 kHz, the dominant frequency of the wavelet must be a finite number, "
     "not negative"},
    {"InfiniteDominantFrequency", [](Model& m) { m.deck.freq = HUGE_VAL; },
     "inp_A: freq = inf kHz, the dominant frequency of the wavelet must be a finite number, "
     "not negative"},
    {"NegativeStime", [](Model& m) { m.deck.stime = -0.15; },
     "inp_A, line 15: stime = -0.15, the simulated time must not be negative"},
    {"SnapshotIndexBelowAnyInteger",
     [](Model& m) {
       m.deck.tsnap = {0.02, -1.0e30};
     },
     "inp_A, line 11: snapshot 2 at time -1e+30 has the sample index t / dt = -6.4551272e+32, "
     "which "
     "does not fit in an integer"},
    {"SnapshotIndexAboveAnyInteger",
     [](Model& m) {
       m.deck.tsnap = {1.0e30, 0.02};
     },
     "inp_A, line 10: snapshot 1 at time 1e+30 has the sample index t / dt = 6.4551272e+32, which "
     "does not fit in an integer"},
    {"SnapshotTimeMinusInfinity",
     [](Model& m) {
       m.deck.tsnap = {-HUGE_VAL, 0.02};
     },
     "inp_A, line 10: snapshot 1 at time -inf has the sample index t / dt = -inf, which does "
     "not fit in an integer"},
    {"SnapshotTimeNaN",
     [](Model& m) {
       m.deck.tsnap = {0.02, kNaN};
     },
     "inp_A, line 11: snapshot 2 at time nan has the sample index t / dt = nan, which does "
     "not fit in an integer"},
};

INSTANTIATE_TEST_SUITE_P(Cases, InputCheck, testing::ValuesIn(kRejected),
                         [](const testing::TestParamInfo<Rejected>& info) {
                           return std::string(info.param.name);
                         });

/// The warnings of one run of the input step.
std::vector<std::string> gWarnings;

std::vector<std::string> warningsOf(const Model& model, InputRun* run = nullptr) {
  gWarnings.clear();
  const sw::WarningSink previous =
      sw::setWarningSink([](const std::string& w) { gWarnings.push_back(w); });
  model.write();
  InputRun r = runReadInput();
  sw::setWarningSink(previous);
  EXPECT_EQ(r.outcome.kind, Kind::Returned) << r.outcome.message;
  if (run != nullptr) *run = std::move(r);
  return gWarnings;
}

struct Warned {
  const char* name;
  std::function<void(Model&)> change;
  std::vector<std::string> warnings;
};

class InputWarning : public testing::TestWithParam<Warned> {};

TEST_P(InputWarning, OneLineEachAndTheLogUnchanged) {
  ScratchDir dir;
  Model model;
  GetParam().change(model);
  InputRun warned;
  EXPECT_EQ(warningsOf(model, &warned), GetParam().warnings);
  // Nothing of it reaches the log: it is that of the established program.
  EXPECT_EQ(warned.log.find("warning"), std::string::npos);
}

// The model: dt = h / largest P velocity = 5 / sqrt(2.5e7 / 2.4) = 0.001549, delf = 150 / 6
// = 25, period 1 / delf = 0.04; a snapshot shows the time (int(t / dt) - 1) dt.
const Warned kWarned[] = {
    {"InsideThePeriodAndTheGrid", [](Model&) {}, {}},
    {"PastStimeButWithinThePeriod",
     [](Model& m) {
       m.deck.stime = 0.02;
       m.deck.tsnap = {0.01, 0.035};
     },
     {}},
    {"SnapshotBelowZero",
     [](Model& m) {
       m.deck.tsnap = {0.02, -0.01};
     },
     {"inp_A, line 11: snapshot 2 at time -0.01 is below 0; it shows the field at time "
      "0.029155907 with its sign reversed"}},
    {"SnapshotsAtAndPastThePeriod",
     [](Model& m) {
       m.deck.nsnapt = 3;
       m.deck.tsnap = {0.04, 0.05, 0.09};
     },
     {"inp_A, line 10: snapshot 1 at time 0.04 is at or past the period 1 / delf = 0.04 of "
      "the frequency axis; it shows the field at time 0.037179748",
      "inp_A, line 11: snapshot 2 at time 0.05 is at or past the period 1 / delf = 0.04 of "
      "the frequency axis; it shows the field at time 0.0080238409 with its sign reversed",
      "inp_A, line 12: snapshot 3 at time 0.09 is at or past the period 1 / delf = 0.04 of "
      "the frequency axis; it shows the field at time 0.0083019011"}},
    {"ReceiverOnTheFarEdge",
     [](Model& m) {
       m.deck.xinic = 5.0;
       m.deck.xfin = 50.0;  // = xsize: element nx + 1
     },
     {"receiver 3 at x = 50, y = 35 falls in element (11, 8), just beyond the far edge of "
      "the grid of 10 x 8 elements; its traces are zero (half an element inward, it would "
      "record the edge element)"}},
    {"ReceiversOutsideTheGrid",
     [](Model& m) {
       m.deck.xinic = -10.0;
       m.deck.yinic = 35.0;
       m.deck.xfin = 45.0;
       m.deck.yfin = 60.0;
     },
     {"receiver 1 at x = -10, y = 35 falls in element (-1, 8), outside the grid of 10 x 8 "
      "elements; its traces are zero",
      "receiver 2 at x = 17.5, y = 47.5 falls in element (4, 10), outside the grid of 10 x 8 "
      "elements; its traces are zero",
      "receiver 3 at x = 45, y = 60 falls in element (10, 13), outside the grid of 10 x 8 "
      "elements; its traces are zero"}},
};

INSTANTIATE_TEST_SUITE_P(Cases, InputWarning, testing::ValuesIn(kWarned),
                         [](const testing::TestParamInfo<Warned>& info) {
                           return std::string(info.param.name);
                         });

TEST(InputWarning, EdgeReceiverKeepsTheIndexOfTheEstablishedProgram) {
  // The receiver on the far edge is not moved to the edge element: its index, and so
  // its all-zero traces, stay those of the established program.
  ScratchDir dir;
  Model model;
  model.deck.xfin = 50.0;
  InputRun r;
  warningsOf(model, &r);
  EXPECT_EQ(r.par.irx(3), 11);
}

}  // namespace
}  // namespace sw::test

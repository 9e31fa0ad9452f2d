// The model file reader: what a good file gives in the program's units and element order,
// and every refusal, one row each, with the message it leaves in the log.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <filesystem>
#include <functional>
#include <limits>
#include <ostream>
#include <string>

#include "core/exit_status.hpp"
#include "input/model_file.hpp"
#include "records/out_file.hpp"
#include "support/files.hpp"
#include "support/model_file.hpp"

namespace sw::test {
namespace {

constexpr int kNx = 4, kNy = 3;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

/// A solid 4 x 3 grid, every value different: vp 2000 + 10 k m/s, vs half of it,
/// rho 2 + 0.01 k g/cm3, k the position in storage order.
PropertyGrid sampleGrid() {
  PropertyGrid g(kNx, kNy);
  g.referenceFrequency = 0.04;
  for (int k = 0; k < kNx * kNy; ++k) {
    g.vp.push_back(2.0 + 0.01 * k);
    g.vs.push_back(1.0 + 0.005 * k);
    g.rho.push_back(2.0 + 0.01 * k);
  }
  return g;
}

/// The grid with Q, Thomsen parameters and tilt.
PropertyGrid fullGrid() {
  PropertyGrid g = sampleGrid();
  for (int k = 0; k < kNx * kNy; ++k) {
    g.qp.push_back(50.0 + k);
    g.qs.push_back(30.0 + k);
    g.epsilon.push_back(0.1 + 0.01 * k);
    g.delta.push_back(-0.05 + 0.01 * k);
    g.tilt.push_back(5.0 * k);
  }
  return g;
}

/// How one read ended: the grid, or the message of the refusal and the log.
struct ReadOutcome {
  bool refused = false;
  std::string message, log;
  PropertyGrid grid;
};

ReadOutcome readIn(const std::string& path, int nx = kNx, int ny = kNy) {
  ReadOutcome out;
  {
    rec::OutFile log;
    log.open("output");
    try {
      out.grid = readModelFile(path, nx, ny, log);
    } catch (const InputError& e) {
      out.refused = true;
      out.message = e.what();
    }
    log.commit();
  }
  out.log = readBytes("output");
  return out;
}

TEST(ModelFile, ValuesArriveInTheProgramsUnitsAndElementOrder) {
  ScratchDir dir;
  const PropertyGrid want = fullGrid();
  ModelFileContents contents = modelFileOf(want);
  // Other units and storage types the layout allows.
  ModelDataset& vs = datasetOf(contents, "vs");
  for (double& x : vs.values) x = x / 1000.0;
  vs.units = "km/s";
  ModelDataset& rho = datasetOf(contents, "rho");
  for (double& x : rho.values) x = x * 1000.0;
  rho.units = "kg/m3";
  rho.variableLengthUnits = false;
  datasetOf(contents, "tilt").type = H5T_IEEE_F32BE;
  writeModelFile("model.h5", contents);

  const ReadOutcome got = readIn("model.h5");
  ASSERT_FALSE(got.refused) << got.message;
  EXPECT_EQ(got.log, "");
  const PropertyGrid& g = got.grid;
  EXPECT_EQ(g.nx, kNx);
  EXPECT_EQ(g.ny, kNy);
  EXPECT_DOUBLE_EQ(g.referenceFrequency, 0.04);
  ASSERT_EQ(g.vp.size(), want.vp.size());
  for (std::size_t k = 0; k < want.vp.size(); ++k) {
    EXPECT_DOUBLE_EQ(g.vp[k], want.vp[k]) << k;
    EXPECT_DOUBLE_EQ(g.vs[k], want.vs[k]) << k;
    EXPECT_DOUBLE_EQ(g.rho[k], want.rho[k]) << k;
    EXPECT_EQ(g.qp[k], want.qp[k]);
    EXPECT_EQ(g.qs[k], want.qs[k]);
    EXPECT_EQ(g.epsilon[k], want.epsilon[k]);
    EXPECT_EQ(g.delta[k], want.delta[k]);
    EXPECT_EQ(g.tilt[k], static_cast<double>(static_cast<float>(want.tilt[k])));
  }
  // Row 0 is the top row: storage position 0 is the top left element (1, ny), the last
  // one the bottom right element (nx, 1).
  EXPECT_EQ(g.index(1, kNy), 0u);
  EXPECT_EQ(g.index(kNx, 1), static_cast<std::size_t>(kNx * kNy - 1));
  EXPECT_EQ(g.index(2, kNy - 1), static_cast<std::size_t>(kNx + 1));
}

TEST(ModelFile, AnElasticIsotropicFileNeedsOnlyTheThreeVelocitiesAndDensity) {
  ScratchDir dir;
  writeModelFile("model.h5", modelFileOf(sampleGrid()));
  const ReadOutcome got = readIn("model.h5");
  ASSERT_FALSE(got.refused) << got.message;
  EXPECT_FALSE(got.grid.attenuating());
  EXPECT_FALSE(got.grid.anisotropic());
  EXPECT_FALSE(got.grid.tilted());
  EXPECT_EQ(got.grid.bytes(), 3u * kNx * kNy * sizeof(double));
}

/// One refusal: how the good file is spoiled (or replaced), and the message.
struct Refusal {
  const char* name;
  std::function<void(ModelFileContents&)> spoil;
  std::string message;  ///< after "model.h5: "
  std::function<void()> replace = {};  ///< writes something else at "model.h5" instead
};

void PrintTo(const Refusal& r, std::ostream* os) { *os << r.name; }

/// Sets value k (storage order) of a dataset.
std::function<void(ModelFileContents&)> setValue(const char* name, std::size_t k, double v) {
  return [=](ModelFileContents& s) { datasetOf(s, name).values[k] = v; };
}

std::function<void(ModelFileContents&)> remove(const char* name) {
  return [=](ModelFileContents& s) {
    std::erase_if(s.datasets, [&](const ModelDataset& d) { return d.name == name; });
  };
}

class ModelFileRefusals : public testing::TestWithParam<Refusal> {};

TEST_P(ModelFileRefusals, NameTheDatasetAndTheFirstBadElement) {
  ScratchDir dir;
  const Refusal& r = GetParam();
  ModelFileContents contents = modelFileOf(fullGrid());
  if (r.spoil) r.spoil(contents);
  if (r.replace)
    r.replace();
  else
    writeModelFile("model.h5", contents);
  const ReadOutcome got = readIn("model.h5");
  ASSERT_TRUE(got.refused);
  EXPECT_EQ(got.message, "model.h5: " + r.message);
  EXPECT_EQ(got.log, " input error: model.h5: " + r.message + "\n");
}

const std::string kShape = "expected (ny, nx) = (3, 4) of the deck";

// Element k of storage order is (ix, iy) = (k % 4 + 1, 3 - k / 4), [row k / 4, column k % 4].
// clang-format off
const Refusal kRefusals[] = {
  {"MissingFile", {}, "cannot open the model file: no such file", [] {}},
  {"Directory", {}, "cannot open the model file: it is a directory",
   [] { std::filesystem::create_directory("model.h5"); }},
  {"NotHdf5", {}, "not an HDF5 file", [] { writeBytes("model.h5", "vp vs rho\n1 2 3\n"); }},
  {"EmptyFile", {}, "not an HDF5 file", [] { writeBytes("model.h5", ""); }},
  {"MissingVp", remove("vp"), "vp: missing (vp, vs and rho are required)"},
  {"MissingRho", remove("rho"), "rho: missing (vp, vs and rho are required)"},
  {"QpWithoutQs", remove("qs"), "qp: given without qs (qp and qs come together)"},
  {"DeltaWithoutEpsilon", remove("epsilon"),
   "delta: given without epsilon (epsilon and delta come together)"},
  {"AGroup", [](ModelFileContents& s) { datasetOf(s, "epsilon").asGroup = true; },
   "epsilon: not a dataset (a group, or a link to nothing)"},
  {"Transposed", [](ModelFileContents& s) { datasetOf(s, "rho").dims = {4, 3}; },
   "rho: shape (4, 3), " + kShape},
  {"OneDimensional", [](ModelFileContents& s) { datasetOf(s, "qs").dims = {12}; },
   "qs: 1-D of shape (12), " + kShape},
  {"Scalar", [](ModelFileContents& s) { datasetOf(s, "tilt").dims = {}; },
   "tilt: 0-D of shape (), " + kShape},
  {"Integers", [](ModelFileContents& s) { datasetOf(s, "vs").type = H5T_STD_I32LE; },
   "vs: not floating point of 4 or 8 bytes"},
  {"NoUnits", [](ModelFileContents& s) { datasetOf(s, "vp").units.reset(); },
   "vp: no units attribute (one of \"m/s\", \"km/s\")"},
  {"WrongUnits", [](ModelFileContents& s) { datasetOf(s, "rho").units = "kg/m^3"; },
   "rho: units \"kg/m^3\", expected one of \"kg/m3\", \"g/cm3\""},
  {"WrongDimensionlessUnits", [](ModelFileContents& s) { datasetOf(s, "delta").units = ""; },
   "delta: units \"\", expected \"1\""},
  {"NumericUnits", [](ModelFileContents& s) { datasetOf(s, "qs").numericUnits = true; },
   "qs: the units attribute is not a string (\"1\")"},
  {"TextReferenceFrequency", [](ModelFileContents& s) { s.referenceFrequencyAsText = true; },
   "reference_frequency: the root attribute (the frequency in Hz of the velocities and Q) "
   "is not a number"},
  {"NoReferenceFrequency", [](ModelFileContents& s) { s.referenceFrequency.reset(); },
   "reference_frequency: the root attribute (the frequency in Hz of the velocities and Q) "
   "is missing"},
  {"ZeroReferenceFrequency", [](ModelFileContents& s) { s.referenceFrequency = 0.0; },
   "reference_frequency = 0: must be a positive frequency in Hz"},
  {"NaNReferenceFrequency", [](ModelFileContents& s) { s.referenceFrequency = kNaN; },
   "reference_frequency = nan: must be a positive frequency in Hz"},
  {"NaNVp", setValue("vp", 6, kNaN),
   "vp: element (ix, iy) = (3, 2) [row 1, column 2] = nan m/s: not finite"},
  {"InfiniteTilt", setValue("tilt", 11, HUGE_VAL),
   "tilt: element (ix, iy) = (4, 1) [row 2, column 3] = inf degree: not finite"},
  {"NegativeRho", [](ModelFileContents& s) {
     datasetOf(s, "rho").values[5] = -1.0;
     datasetOf(s, "rho").values[9] = 0.0;
   }, "rho: element (ix, iy) = (2, 2) [row 1, column 1] = -1 g/cm3: must be positive "
      "(2 elements)"},
  {"NegativeVs", setValue("vs", 0, -1.0),
   "vs: element (ix, iy) = (1, 3) [row 0, column 0] = -1 m/s: must not be negative (0: a fluid)"},
  {"ZeroQs", setValue("qs", 3, 0.0),
   "qs: element (ix, iy) = (4, 3) [row 0, column 3] = 0: must be positive"},
  {"NaNBeforeNegative", [](ModelFileContents& s) {
     datasetOf(s, "qp").values[1] = -3.0;
     datasetOf(s, "qp").values[2] = kNaN;
   }, "qp: element (ix, iy) = (3, 3) [row 0, column 2] = nan: not finite"},
  {"VsAtVp", [](ModelFileContents& s) {
     datasetOf(s, "vs").values[4] = datasetOf(s, "vp").values[4];
   },
   "vs: element (ix, iy) = (1, 2) [row 1, column 0] = 2040 m/s: not below vp (the stiffness "
   "would not be positive definite); vp there is 2040 m/s"},
  {"NoRealC13", setValue("delta", 7, -0.9),
   "delta: element (ix, iy) = (4, 2) [row 1, column 3] = -0.9: gives no real C13 "
   "(2 delta C33 (C33 - C55) + (C33 - C55)^2 < 0)"},
  {"NotPositiveDefinite", setValue("epsilon", 8, -0.6),
   "epsilon: element (ix, iy) = (1, 1) [row 2, column 0] = -0.6: with delta there, a "
   "stiffness that is not positive definite (C11 C33 - C13^2 <= 0); delta = 0.03"},
  {"HugeVelocity", setValue("vp", 2, 1e160),
   "vp: element (ix, iy) = (3, 3) [row 0, column 2] = 1e+160 m/s: with vs and rho there, "
   "moduli outside the range of double precision; vs = 1.01 m/ms, rho = 2.02 g/cm3"},
  {"VanishingDensity", [](ModelFileContents& s) {
     datasetOf(s, "rho").values[1] = 1e-320;
     datasetOf(s, "epsilon").values[0] = -0.6;  // checked after the range
   }, "vp: element (ix, iy) = (2, 3) [row 0, column 1] = 2010 m/s: with vs and rho there, "
      "moduli outside the range of double precision; vs = 1.005 m/ms, rho = 9.9998887e-321 g/cm3"},
  {"ShapeBeforeValues", [](ModelFileContents& s) {
     datasetOf(s, "vp").values[0] = kNaN;
     datasetOf(s, "tilt").dims = {3, 3};
   }, "tilt: shape (3, 3), " + kShape},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, ModelFileRefusals, testing::ValuesIn(kRefusals),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ModelFile, ATruncatedFileIsRefusedAsDamaged) {
  ScratchDir dir;
  writeModelFile("model.h5", modelFileOf(fullGrid()));
  const std::string bytes = readBytes("model.h5");
  for (const std::size_t keep : {bytes.size() / 2, bytes.size() - 1, std::size_t{600}}) {
    writeBytes("model.h5", bytes.substr(0, keep));
    const ReadOutcome got = readIn("model.h5");
    ASSERT_TRUE(got.refused) << keep;
    EXPECT_EQ(got.message.rfind("model.h5: cannot be read as an HDF5 file, truncated or damaged",
                                0),
              0u)
        << got.message;
  }
}

TEST(ModelFile, AFluidAndAnIsotropicFluidLimitAreAccepted) {
  ScratchDir dir;
  PropertyGrid g = fullGrid();
  g.vs[3] = 0.0;       // a fluid
  g.epsilon[3] = 0.0;  // isotropic: C11 C33 - C13^2 is 0
  g.delta[3] = 0.0;
  g.vs[4] = 0.0;  // an anisotropic fluid with epsilon > delta
  writeModelFile("model.h5", modelFileOf(g));
  const ReadOutcome got = readIn("model.h5");
  EXPECT_FALSE(got.refused) << got.message;
}

TEST(ModelFile, TheGridOfTheDeckDecidesTheShape) {
  ScratchDir dir;
  writeModelFile("model.h5", modelFileOf(sampleGrid()));
  const ReadOutcome got = readIn("model.h5", 3, 4);
  ASSERT_TRUE(got.refused);
  EXPECT_EQ(got.message, "model.h5: vp: shape (3, 4), expected (ny, nx) = (4, 3) of the deck");
}

// The velocity extremes against tables of the same law: records of the modulus at the
// table frequencies, written out with std::complex, their mean, and the phase velocity
// 1 / Re(1 / sqrt(mean / rho)).
double tableVelocity(double modulus, double q, double rho, int nf, double delf, double fref) {
  std::complex<double> sum = 0.0;
  for (int j = 1; j <= nf; ++j) {
    const double f = (j - 0.5) * delf;
    const double g = std::atan(1.0 / q) / M_PI;
    sum += modulus * std::pow(std::cos(M_PI * g / 2.0), 2) * std::pow(f / fref, 2.0 * g) *
           std::exp(std::complex<double>(0.0, M_PI * g));
  }
  return 1.0 / (1.0 / std::sqrt(sum / static_cast<double>(nf) / rho)).real();
}

TEST(ModelFile, VelocityExtremesFollowTheRuleOfTheTables) {
  PropertyGrid g(2, 1);
  g.referenceFrequency = 0.03;
  g.vp = {2.0, 3.0};
  g.vs = {0.0, 1.5};
  g.rho = {1.0, 2.5};
  const int nf = 24;
  const double delf = 0.005;
  VelocityRange v = modelVelocities(g, nf, delf);
  EXPECT_DOUBLE_EQ(v.ppmin, 2.0);
  EXPECT_DOUBLE_EQ(v.ppmax, 3.0);
  EXPECT_EQ(v.ssmin, 0.0);  // the fluid
  EXPECT_DOUBLE_EQ(v.ssmax, 1.5);

  g.qp = {20.0, 80.0};
  g.qs = {10.0, 10.0};
  g.epsilon = {0.0, 0.2};
  g.delta = {0.0, 0.1};
  v = modelVelocities(g, nf, delf);
  const double tol = 1e-14;
  EXPECT_NEAR(v.ppmin, tableVelocity(4.0, 20.0, 1.0, nf, delf, 0.03), tol);
  EXPECT_NEAR(v.ppmax, tableVelocity(2.5 * 9.0 * 1.4, 80.0, 2.5, nf, delf, 0.03), tol);
  EXPECT_EQ(v.ssmin, 0.0);
  EXPECT_NEAR(v.ssmax, tableVelocity(2.5 * 2.25, 10.0, 2.5, nf, delf, 0.03), tol);
  // The mean over the band is not the reference velocity.
  EXPECT_GT(std::fabs(v.ppmin - 2.0), 1e-3);
}

}  // namespace
}  // namespace sw::test

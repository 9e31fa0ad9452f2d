// The period of the frequency sampling against the record: when the record length plus
// the slowest wave's time across the model outlasts npf / f4, and which npf holds it.

#include "input/record_period.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "input/read_input.hpp"
#include "input/run_files.hpp"
#include "support/files.hpp"

namespace {

namespace fs = std::filesystem;

TEST(RecordPeriod, BandAndTablesInStep) {
  EXPECT_TRUE(sw::bandMatchesTables(48, 0.06));
  // 0.07 / (0.07 / 7) = 7.000000000000001 would be one index more than its 7 records,
  // or fewer: whichever npf the quotient rounds across is refused.
  for (int npf = 1; npf <= 300; ++npf) {
    const double f4 = 0.07, delf = f4 / npf;
    const bool inStep = static_cast<int>(f4 / delf + 1.0) - 1 == static_cast<int>(f4 / delf);
    EXPECT_EQ(sw::bandMatchesTables(npf, f4), inStep) << npf;
  }
}

TEST(RecordPeriod, NpfIsTheSmallestWhosePeriodHoldsTheRecord) {
  // npf / f4 >= period: 3580.1 ms at f4 = 0.04 kHz needs 143.2, so 144.
  EXPECT_EQ(sw::npfForPeriod(3580.1, 0.04, 31), 144);
  // A period reached exactly needs no more (the ceiling is taken with a tolerance); the
  // model builder's tests hold its rule to the same two values.
  EXPECT_EQ(sw::npfForPeriod(1000.0, 0.05), 50);
  EXPECT_EQ(sw::npfForPeriod(1000.1, 0.05), 51);
  // Never below start.
  EXPECT_EQ(sw::npfForPeriod(10.0, 0.06, 49), 49);
  // Every npf it gives keeps the band and the tables in step and holds the period.
  for (int k = 1; k <= 200; ++k) {
    const double f4 = 0.0137 * k, period = 97.3 * k;
    const std::optional<int> npf = sw::npfForPeriod(period, f4, 1);
    ASSERT_TRUE(npf.has_value());
    EXPECT_GE(*npf / f4, period * (1.0 - 1e-12));
    EXPECT_TRUE(sw::bandMatchesTables(*npf, f4));
    if (*npf > 1 && sw::bandMatchesTables(*npf - 1, f4))
      EXPECT_LT((*npf - 1) / f4, period * (1.0 - 1e-12));
  }
  EXPECT_FALSE(sw::npfForPeriod(1e12, 1.0, 1).has_value()) << "beyond any deck";
  EXPECT_FALSE(sw::npfForPeriod(INFINITY, 1.0, 1).has_value());
}

TEST(RecordPeriod, WarnsOnlyWhenTheRecordOutlastsThePeriod) {
  // 300 by 400: the diagonal is 500, 250 at a speed of 2; the period 48 / 0.06 = 800.
  sw::RecordSpan r{550.0, 0.06, 48, 300.0, 400.0, {2.0, "the slowest S wave"}};
  EXPECT_FALSE(sw::wrapAround(r).has_value()) << "550 + 250 = 800 fills the period exactly";
  r.stime = 551.0;
  const std::optional<sw::WrapAround> w = sw::wrapAround(r);
  ASSERT_TRUE(w.has_value());
  EXPECT_DOUBLE_EQ(w->period, 800.0);
  EXPECT_DOUBLE_EQ(w->crossing, 250.0);
  EXPECT_DOUBLE_EQ(w->needed, 801.0);
  EXPECT_EQ(w->npf, 49);  // 49 / 0.06 = 816.7
  const std::string text = sw::wrapAroundText(r, *w);
  for (const char* part :
       {"stime = 551", "the slowest S wave's time across the model (500 at 2: 250)", "is 801",
        "period 1/delf = npf / f4 = 800", "(npf = 48)", "npf = 49 (period 816.667) holds them",
        "--complex-frequency"})
    EXPECT_NE(text.find(part), std::string::npos) << part << " in: " << text;
}

TEST(RecordPeriod, SlowestWaveOfAGriddedModelIsSOrTheFluidsP) {
  sw::PropertyGrid g(2, 1);
  g.vp = {2.0, 1.5};
  g.vs = {1.1, 0.0};
  g.rho = {2.0, 1.0};
  sw::SlowestWave s = sw::slowestWave(g);
  EXPECT_EQ(s.velocity, 1.1);
  EXPECT_EQ(s.what, "the slowest S wave");
  g.vp[1] = 1.0;
  s = sw::slowestWave(g);
  EXPECT_EQ(s.velocity, 1.0);
  EXPECT_EQ(s.what, "the slowest P wave (in the fluid)");
}

/// The npf the record of an example needs, from the input as the program reads it.
std::optional<int> exampleNpf(const std::string& name) {
  sw::test::ScratchDir dir;
  for (const auto& e :
       fs::directory_iterator(fs::path(STRIPWAVE_SOURCE_DIR).parent_path() / "examples" / name))
    if (e.is_regular_file()) fs::copy_file(e.path(), dir.path() / e.path().filename());
  sw::InputFiles in;
  sw::rec::OutFile log;
  sw::openRunFiles(in, log);
  sw::RunParams par;
  sw::Materials mat;
  sw::Vec1<sw::Cx> sour;
  sw::RecordSpan record;
  sw::readInput(in, log, par, mat, sour, {}, nullptr, nullptr, &record);
  const std::optional<sw::WrapAround> w = sw::wrapAround(record);
  if (!w) return std::nullopt;
  return w->npf;
}

// The Python model builder warns of these examples with the same rule; its npfs
// (python3 -m stripwave model --check examples/NAME/model.json) are these.
TEST(RecordPeriod, ExamplesNeedTheNpfTheModelBuilderNames) {
  EXPECT_EQ(exampleNpf("homogeneous"), 37);
  EXPECT_EQ(exampleNpf("layered"), 117);
  EXPECT_EQ(exampleNpf("reflector"), 67);
  EXPECT_EQ(exampleNpf("section"), 144);
}

}  // namespace

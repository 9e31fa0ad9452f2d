// The opt-in accelerated iteration: its log lines, its first pass, its thread-count
// independence and its switch.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <regex>
#include <string>

#include "driver/frequency_loop.hpp"
#include "support/files.hpp"
#include "support/layered_model.hpp"
#include "support/run.hpp"

namespace {

using Model = sw::test::LayeredModel;

sw::AccelerationSettings accelerated() {
  sw::AccelerationSettings a;
  a.enabled = true;
  return a;
}

struct Outcome {
  std::string log;
  sw::EdgeFields fields;
};

Outcome runLoop(const Model& model, const sw::AccelerationSettings& accel, int threads = 0) {
  sw::test::TempDir dir;
  Outcome out;
  {
    sw::FrequencyLoop loop(model.par, model.mat, model.sour, threads, accel);
    sw::rec::OutFile log;
    log.open(dir.file("output"));
    loop.run(log);
    out.fields = loop.fields();
  }
  out.log = sw::test::readBytes(dir.file("output"));
  return out;
}

/// Pass counts of the convergence lines, in log order.
std::vector<int> convergedPasses(const std::string& log) {
  static const std::regex line(R"( convergence  for freq\. # +\d+ +achieved in +(\d+) inner)");
  std::vector<int> passes;
  for (std::sregex_iterator it(log.begin(), log.end(), line), end; it != end; ++it)
    passes.push_back(std::stoi((*it)[1]));
  return passes;
}

int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(AcceleratedIteration, ConvergesEveryFrequencyInFewerPassesThanThePlainIteration) {
  Model model(10, 12, 4);
  model.par.maxiter = model.par.maxlow = 3000;
  model.par.reduc = 1e-6;
  const Outcome plain = runLoop(model, {});
  const Outcome fast = runLoop(model, accelerated());
  const std::vector<int> p = convergedPasses(plain.log), a = convergedPasses(fast.log);
  ASSERT_EQ(p.size(), 4u);
  ASSERT_EQ(a.size(), 4u);
  for (std::size_t k = 0; k < a.size(); ++k) EXPECT_LT(a[k], p[k]) << "frequency " << 4 - k;
  EXPECT_EQ(count(fast.log, "NO convergence"), 0);
}

TEST(AcceleratedIteration, KeepsTheGlobalErrorAndNoConvergenceLines) {
  Model model(8, 9, 1);
  model.par.maxiter = model.par.maxlow = 230;
  model.par.reduc = 1e-300;  // never reached
  const Outcome fast = runLoop(model, accelerated());
  EXPECT_EQ(count(fast.log, "iteration number =   100"), 1);
  EXPECT_EQ(count(fast.log, "iteration number =   200"), 1);
  EXPECT_EQ(count(fast.log, " NO convergence  for freq. #     1 "), 1);
  EXPECT_NE(fast.log.find(" after    230 inner iterations"), std::string::npos) << fast.log;
}

TEST(AcceleratedIteration, FirstPassIsTheEstablishedOne) {
  // reduc above 1: every frequency converges on its first pass, exactly as without the
  // option; a limit of one pass reports non-convergence with the relative error 1.
  Model model(6, 7, 3);
  for (const auto& [reduc, limit] : {std::pair{1.5, 20}, std::pair{0.5, 1}}) {
    model.par.reduc = reduc;
    model.par.maxiter = model.par.maxlow = limit;
    const Outcome plain = runLoop(model, {});
    const Outcome fast = runLoop(model, accelerated());
    EXPECT_EQ(fast.log, plain.log) << reduc;
    const auto x = plain.fields.arrays();
    const auto y = fast.fields.arrays();
    for (int k = 0; k < 16; ++k)
      EXPECT_EQ(std::memcmp(x[k]->data(), y[k]->data(), x[k]->size() * sizeof(sw::Cx)), 0) << k;
  }
}

TEST(AcceleratedIteration, AnyThreadCountGivesTheSerialResultsBitForBit) {
  // More than two reduction blocks of carried state (2 nx (ny - 1) entries).
  Model model(64, 67, 2);
  model.par.maxiter = model.par.maxlow = 15;
  model.par.reduc = 1e-4;
  const Outcome serial = runLoop(model, accelerated(), 1);
  for (const int threads : {2, 3}) {
    const Outcome parallel = runLoop(model, accelerated(), threads);
    EXPECT_EQ(parallel.log, serial.log) << threads;
    const auto x = serial.fields.arrays();
    const auto y = parallel.fields.arrays();
    for (int k = 0; k < 16; ++k)
      EXPECT_EQ(std::memcmp(x[k]->data(), y[k]->data(), x[k]->size() * sizeof(sw::Cx)), 0)
          << threads << " threads, array " << k;
  }
}

TEST(AcceleratedIteration, TheSwitchAcceptsOnlyItsValues) {
  sw::test::TempDir dir;
  sw::test::copyFiles(sw::test::dataDir() / "golden" / "n01_homog_iso" / "input", dir.path());
  setenv("STRIPWAVE_ACCELERATE", "fast", 1);
  const sw::test::RunResult bad = sw::test::runProgram(dir.path());
  setenv("STRIPWAVE_ACCELERATE", "anderson", 1);
  const sw::test::RunResult good = sw::test::runProgram(dir.path());
  unsetenv("STRIPWAVE_ACCELERATE");
  EXPECT_EQ(bad.status, 3);
  EXPECT_NE(bad.err.find("STRIPWAVE_ACCELERATE must be 'anderson'"), std::string::npos) << bad.err;
  EXPECT_EQ(good.status, 0) << good.err;
  EXPECT_NE(sw::test::readBytes(dir.file("output")).find(" convergence  for freq."),
            std::string::npos);
}

}  // namespace

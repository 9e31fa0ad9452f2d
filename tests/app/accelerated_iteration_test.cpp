// The accelerated iteration (--accelerate, --accelerate-all): fewer passes to the same
// solution, the log lines of the plain iteration, the plain first pass, thread-count
// independence, and which frequencies are mixed.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "app/frequency_loop.hpp"
#include "support/files.hpp"
#include "support/layered_model.hpp"
#include "support/run.hpp"

namespace {

using Model = sw::test::LayeredModel;

struct Outcome {
  std::string log;
  sw::EdgeFields fields;
  sw::Accumulators acc;
};

Outcome runLoop(const Model& model, sw::Acceleration acceleration, int threads = 0,
                sw::Kernels kernels = sw::Kernels::lanes) {
  sw::test::TempDir dir;
  Outcome out;
  {
    sw::FrequencyLoop loop(model.par, model.mat, model.sour, threads, kernels, acceleration);
    sw::rec::OutFile log;
    log.open(dir.file("output"));
    loop.run(log);
    out.fields = loop.fields();
    out.acc = loop.accumulators();
  }
  out.log = sw::test::readBytes(dir.file("output"));
  return out;
}

/// Passes of each frequency, in log order, and whether it converged.
struct FrequencyPasses {
  int jw, passes;
  bool converged;
};
std::vector<FrequencyPasses> passesOf(const std::string& log) {
  static const std::regex line(
      R"((NO convergence|convergence)  for freq\. # +(\d+) +(?:achieved in|after) +(\d+) inner)");
  std::vector<FrequencyPasses> out;
  for (std::sregex_iterator it(log.begin(), log.end(), line), end; it != end; ++it)
    out.push_back({std::stoi((*it)[2]), std::stoi((*it)[3]), (*it)[1] == "convergence"});
  return out;
}

int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

bool sameBits(const sw::EdgeFields& a, const sw::EdgeFields& b) {
  const auto x = a.arrays();
  const auto y = b.arrays();
  for (int k = 0; k < 16; ++k)
    if (std::memcmp(x[k]->data(), y[k]->data(), x[k]->size() * sizeof(sw::Cx)) != 0) return false;
  return true;
}

sw::Cx spectrum(const sw::Accumulators& acc, int c, int jw, int r) {
  return (c == 1 ? acc.fu1 : acc.fu2)[acc.traceIndex(jw, r)];
}

/// A model with a row of receivers across the grid.
Model withReceivers(int nx, int ny, int nfreq) {
  Model model(nx, ny, nfreq);
  model.par.nrec = nx;
  for (int r = 1; r <= nx; ++r) {
    model.par.irx(r) = r;
    model.par.iry(r) = ny - 1;
  }
  return model;
}

TEST(AcceleratedIteration, SameSpectraInFewerPassesAtEveryFrequency) {
  // Where the plain iteration converges, the receiver spectra of the two agree to 1e-4
  // (relative L2 over the receivers); every frequency converges with the option, in no
  // more passes.
  Model model = withReceivers(10, 12, 6);
  model.par.maxiter = model.par.maxlow = 600;
  model.par.reduc = 1e-6;
  const Outcome plain = runLoop(model, sw::Acceleration::off);
  const Outcome fast = runLoop(model, sw::Acceleration::always);
  const std::vector<FrequencyPasses> p = passesOf(plain.log), a = passesOf(fast.log);
  ASSERT_EQ(p.size(), 6u);
  ASSERT_EQ(a.size(), 6u);
  int fewer = 0;
  for (std::size_t k = 0; k < a.size(); ++k) {
    const int jw = a[k].jw;
    EXPECT_TRUE(a[k].converged) << jw;
    EXPECT_LE(a[k].passes, p[k].passes) << jw;
    fewer += a[k].passes < p[k].passes;
    if (!p[k].converged) continue;
    double diff = 0.0, size = 0.0;
    for (int c = 1; c <= 2; ++c)
      for (int r = 1; r <= model.par.nrec; ++r) {
        const sw::Cx x = spectrum(fast.acc, c, jw, r), y = spectrum(plain.acc, c, jw, r);
        diff += sw::abs(x - y) * sw::abs(x - y);
        size += sw::abs(y) * sw::abs(y);
      }
    ASSERT_GT(size, 0.0) << jw;
    EXPECT_LT(std::sqrt(diff / size), 1e-4) << jw;
  }
  EXPECT_GT(fewer, 3);
}

TEST(AcceleratedIteration, KeepsTheGlobalErrorAndNoConvergenceLines) {
  Model model(8, 9, 1);
  model.par.maxiter = model.par.maxlow = 230;
  model.par.reduc = 1e-300;  // never reached
  const Outcome fast = runLoop(model, sw::Acceleration::always);
  EXPECT_EQ(count(fast.log, "iteration number =   100"), 1);
  EXPECT_EQ(count(fast.log, "iteration number =   200"), 1);
  EXPECT_EQ(count(fast.log, " NO convergence  for freq. #     1 "), 1);
  EXPECT_NE(fast.log.find(" after    230 inner iterations"), std::string::npos) << fast.log;
}

TEST(AcceleratedIteration, FirstPassIsThePlainOne) {
  // reduc above 1: every frequency converges on its first pass, exactly as without the
  // option; a limit of one pass reports non-convergence with the relative error 1.
  Model model(6, 7, 3);
  for (const auto& [reduc, limit] : {std::pair{1.5, 20}, std::pair{0.5, 1}}) {
    model.par.reduc = reduc;
    model.par.maxiter = model.par.maxlow = limit;
    const Outcome plain = runLoop(model, sw::Acceleration::off);
    const Outcome fast = runLoop(model, sw::Acceleration::always);
    EXPECT_EQ(fast.log, plain.log) << reduc;
    EXPECT_TRUE(sameBits(fast.fields, plain.fields)) << reduc;
  }
}

TEST(AcceleratedIteration, AnyThreadCountAndEitherKernelsGiveTheSameResultsBitForBit) {
  // More than two reduction blocks of carried state (2 nx (ny - 1) entries), and more
  // even strips than one group of lanes.
  Model model(64, 67, 2);
  model.par.maxiter = model.par.maxlow = 15;
  model.par.reduc = 1e-4;
  const Outcome serial = runLoop(model, sw::Acceleration::always, 1, sw::Kernels::scalar);
  for (const int threads : {1, 2, 3}) {
    const Outcome lanes = runLoop(model, sw::Acceleration::always, threads);
    EXPECT_EQ(lanes.log, serial.log) << threads;
    EXPECT_TRUE(sameBits(lanes.fields, serial.fields)) << threads;
    if (threads == 1) continue;
    const Outcome scalar = runLoop(model, sw::Acceleration::always, threads, sw::Kernels::scalar);
    EXPECT_EQ(scalar.log, serial.log) << threads;
    EXPECT_TRUE(sameBits(scalar.fields, serial.fields)) << threads;
  }
}

TEST(AcceleratedIteration, WhereSlowMixesOnlyAfterASlowFrequency) {
  using A = sw::Acceleration;
  Model model = withReceivers(10, 12, 3);
  model.par.maxiter = model.par.maxlow = 600;
  model.par.reduc = 1e-3;
  // Every frequency converges within kMixAfterPasses: the run is the established one.
  const Outcome plain = runLoop(model, A::off);
  for (const FrequencyPasses& f : passesOf(plain.log)) {
    ASSERT_TRUE(f.converged) << f.jw;
    ASSERT_LE(f.passes, sw::kMixAfterPasses) << f.jw;
  }
  const Outcome where = runLoop(model, A::whereSlow);
  EXPECT_EQ(where.log, plain.log);
  EXPECT_TRUE(sameBits(where.fields, plain.fields));

  // A frequency that does not converge makes the next ones mixed: the first (the highest)
  // has the established spectra, the others those of the mixed iteration.
  model.par.maxiter = model.par.maxlow = 40;
  model.par.reduc = 1e-12;
  const Outcome plainSlow = runLoop(model, A::off);
  const Outcome whereSlow = runLoop(model, A::whereSlow);
  const Outcome always = runLoop(model, A::always);
  const auto sameSpectra = [&](const Outcome& a, const Outcome& b, int jw) {
    for (int c = 1; c <= 2; ++c)
      for (int r = 1; r <= model.par.nrec; ++r) {
        const sw::Cx x = spectrum(a.acc, c, jw, r), y = spectrum(b.acc, c, jw, r);
        if (std::memcmp(&x, &y, sizeof x) != 0) return false;
      }
    return true;
  };
  EXPECT_TRUE(sameSpectra(whereSlow, plainSlow, 3));
  EXPECT_FALSE(sameSpectra(whereSlow, always, 3));
  EXPECT_FALSE(sameSpectra(whereSlow, plainSlow, 2));
  EXPECT_TRUE(sameSpectra(whereSlow, always, 2));
}

TEST(AcceleratedIteration, TheCommandLineSwitchesItOn) {
  sw::test::TempDir plainDir, fastDir;
  const auto input = sw::test::dataDir() / "golden" / "n24_limestone_rect" / "input";
  sw::test::copyFiles(input, plainDir.path());
  sw::test::copyFiles(input, fastDir.path());
  const sw::test::RunResult plain = sw::test::runProgram(plainDir.path(), {"-q"});
  const sw::test::RunResult fast =
      sw::test::runProgram(fastDir.path(), {"-q", "--accelerate-all"});
  ASSERT_EQ(plain.status, 0) << plain.err;
  ASSERT_EQ(fast.status, 0) << fast.err;
  const auto p = passesOf(sw::test::readBytes(plainDir.file("output")));
  const auto a = passesOf(sw::test::readBytes(fastDir.file("output")));
  ASSERT_EQ(a.size(), p.size());
  int total[2] = {0, 0};
  for (std::size_t k = 0; k < a.size(); ++k) {
    total[0] += p[k].passes;
    total[1] += a[k].passes;
  }
  EXPECT_LT(total[1], total[0]);
}

}  // namespace

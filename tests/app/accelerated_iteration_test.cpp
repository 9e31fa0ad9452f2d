// The accelerated iteration (--accelerate, --accelerate-all): fewer passes to the same
// solution, the log lines of the plain iteration, the plain first pass, which frequencies
// are mixed.  Its results on any thread count and
// with either kernels are checked with the other whole runs in lane_kernels_test.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "support/files.hpp"
#include "support/loop_run.hpp"
#include "support/run.hpp"

namespace {

using Model = sw::test::LayeredModel;
using sw::test::LoopOutcome;

using A = sw::Acceleration;

/// A run of every frequency.
LoopOutcome runLoop(const Model& model, A acceleration) {
  return sw::test::runLoop(model, 0, sw::Kernels::lanes, acceleration);
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
  const LoopOutcome plain = runLoop(model, A::off);
  const LoopOutcome fast = runLoop(model, A::always);
  const auto p = sw::test::loggedFrequencies(plain.log), a = sw::test::loggedFrequencies(fast.log);
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
  const LoopOutcome fast = runLoop(model, A::always);
  EXPECT_EQ(sw::test::countOf(fast.log, "iteration number =   100"), 1);
  EXPECT_EQ(sw::test::countOf(fast.log, "iteration number =   200"), 1);
  EXPECT_EQ(sw::test::countOf(fast.log, " NO convergence  for freq. #     1 "), 1);
  EXPECT_NE(fast.log.find(" after    230 inner iterations"), std::string::npos) << fast.log;
}

TEST(AcceleratedIteration, FirstPassIsThePlainOne) {
  // reduc above 1: every frequency converges on its first pass, exactly as without the
  // option; a limit of one pass reports non-convergence with the relative error 1.
  Model model(6, 7, 3);
  for (const auto& [reduc, limit] : {std::pair{1.5, 20}, std::pair{0.5, 1}}) {
    model.par.reduc = reduc;
    model.par.maxiter = model.par.maxlow = limit;
    const LoopOutcome plain = runLoop(model, A::off);
    const LoopOutcome fast = runLoop(model, A::always);
    sw::test::expectSameResults(fast, plain, "reduc " + std::to_string(reduc));
  }
}

TEST(AcceleratedIteration, WhereSlowMixesOnlyAfterASlowFrequency) {
  Model model = withReceivers(10, 12, 3);
  model.par.maxiter = model.par.maxlow = 600;
  model.par.reduc = 1e-2;
  // Every frequency converges within kMixAfterPasses: the run is the established one.
  const LoopOutcome plain = runLoop(model, A::off);
  for (const auto& f : sw::test::loggedFrequencies(plain.log)) {
    ASSERT_TRUE(f.converged) << f.jw;
    ASSERT_LE(f.passes, sw::kMixAfterPasses) << f.jw;
  }
  sw::test::expectSameResults(runLoop(model, A::whereSlow), plain, "quick frequencies");

  // A frequency that does not converge makes the next one mixed: the first (the highest)
  // has the established spectra, the second, started from the same fields as without the
  // option, has others.
  model.par.maxiter = model.par.maxlow = 40;
  model.par.reduc = 1e-12;
  const LoopOutcome plainSlow = runLoop(model, A::off);
  const LoopOutcome whereSlow = runLoop(model, A::whereSlow);
  const LoopOutcome always = runLoop(model, A::always);
  const auto sameSpectra = [&](const LoopOutcome& a, const LoopOutcome& b, int jw) {
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
  const auto p = sw::test::loggedFrequencies(sw::test::readBytes(plainDir.file("output")));
  const auto a = sw::test::loggedFrequencies(sw::test::readBytes(fastDir.file("output")));
  ASSERT_EQ(a.size(), p.size());
  int total[2] = {0, 0};
  for (std::size_t k = 0; k < a.size(); ++k) {
    total[0] += p[k].passes;
    total[1] += a[k].passes;
  }
  EXPECT_LT(total[1], total[0]);
}

}  // namespace

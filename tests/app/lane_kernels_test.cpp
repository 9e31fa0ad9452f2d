// Whole runs give the results of the scalar kernels on one thread bit for bit, with the
// lane kernels and on any number of threads, plain or accelerated: every edge array after
// the run, the snapshot and trace accumulators and the log, on grids that fill the lanes
// exactly, leave lanes empty, or hold a single strip or element.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/loop_run.hpp"

namespace {

using sw::Kernels;

struct GridCase {
  int nx, ny, nfreq;
  int jsou, ksou, kdel;
  int maxiter;
  bool accelerate;
  std::vector<int> threads;  ///< lanes on each; scalar kernels as well on more than one
};

sw::test::LoopOutcome runCase(const GridCase& c, int threads, Kernels kernels) {
  sw::test::LayeredModel model(c.nx, c.ny, c.nfreq);
  model.par.jsou = c.jsou;
  model.par.ksou = c.ksou;
  model.par.kdel = c.kdel;
  model.par.nsnapt = 2;
  model.par.itsnap(1) = 3;
  model.par.itsnap(2) = 17;
  model.par.nrec = 2;
  model.par.irx(1) = 1;
  model.par.iry(1) = c.ny;
  model.par.irx(2) = c.nx;
  model.par.iry(2) = 1;
  model.par.dt = 1e-3;
  model.par.maxiter = c.maxiter;
  model.par.maxlow = 30;
  model.par.jwlow = 1;
  return sw::test::runLoop(model, threads, kernels,
                          c.accelerate ? sw::Acceleration::always : sw::Acceleration::off);
}

class SameResults : public ::testing::TestWithParam<GridCase> {};

TEST_P(SameResults, WithAnyKernelsAndThreadCountBitForBit) {
  const GridCase& c = GetParam();
  const sw::test::LoopOutcome reference = runCase(c, 1, Kernels::scalar);
  for (const int threads : c.threads) {
    const std::string t = std::to_string(threads) + " threads";
    sw::test::expectSameResults(runCase(c, threads, Kernels::lanes), reference, "lanes, " + t);
    if (threads > 1)
      sw::test::expectSameResults(runCase(c, threads, Kernels::scalar), reference, "scalar, " + t);
  }
}

// maxiter 130: passes 100 and beyond log their global error.
INSTANTIATE_TEST_SUITE_P(
    Grids, SameResults,
    ::testing::Values(
        GridCase{9, 7, 3, 3, 3, 1, 130, false, {1, 2, 3, 5}},  // lanes left empty in both parities
        GridCase{12, 16, 2, 5, 8, 2, 130, false, {2}},         // lanes filled exactly (up to 8)
        GridCase{6, 19, 2, 6, 19, 3, 130, false, {3}},  // source in the top strip, last element
        GridCase{5, 1, 2, 1, 1, 1, 130, false, {1}},    // a single strip
        GridCase{1, 6, 2, 1, 2, 1, 130, false, {2}},    // strips of one element
        GridCase{4, 2, 2, 2, 1, 0, 130, false, {5}},    // no source pattern: zero fields
        // Rows of three blocks of the interface parameters, formed on several threads.
        GridCase{9, 2 * sw::kRowBlock + 5, 2, 3, 3, 1, 130, false, {2, 3}},
        // Accelerated: more than two reduction blocks of carried state (2 nx (ny - 1)
        // entries), and more even strips than one group of lanes.
        GridCase{64, 67, 2, 3, 3, 1, 15, true, {1, 2, 3}}));

}  // namespace

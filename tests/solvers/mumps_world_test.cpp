// The whole-grid system factored by every rank of the world together against the same
// system factored by one process: the solutions to 1e-10 relative, each rank's memory told,
// the failures of a phase known to the host.  Under mpirun only (the ctest tests
// mpi.distributed_factor_solver run this binary with -np 2 and -np 3); skipped otherwise.
// The ranks other than 0 take part in rank 0's calls through serveSharedMumps.

#include "solvers/mumps_solver.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <vector>

#include "core/constants.hpp"
#include "core/frequency.hpp"
#include "core/mpi_environment.hpp"
#include "solvers/whole_grid.hpp"
#include "support/layered_model.hpp"

namespace {

using sw::Cx;

/// ||x - y|| / ||y|| over n entries.
double relativeDistance(const Cx* x, const Cx* y, std::size_t n) {
  double dd = 0.0, yy = 0.0;
  for (std::size_t k = 0; k < n; ++k) {
    const double re = x[k].re - y[k].re, im = x[k].im - y[k].im;
    dd += re * re + im * im;
    yy += y[k].re * y[k].re + y[k].im * y[k].im;
  }
  return std::sqrt(dd / yy);
}

TEST(MumpsWorld, TheRanksTogetherSolveAsOneProcess) {
  if (!sw::mpi::launched()) GTEST_SKIP() << "runs under mpirun (mpi.distributed_factor_solver)";
  sw::mpi::start();
  if (sw::mpi::size() < 2) GTEST_SKIP() << "needs two ranks or more";
  if (sw::mpi::rank() != 0) {
    EXPECT_EQ(sw::serveSharedMumps(), 7);
    return;
  }
  const int ranks = sw::mpi::size();
  // The layered model's attenuating layers and tilted block, 100 x 90 elements
  // (large enough for fronts shared among the ranks).
  const sw::test::LayeredModel model(100, 90, 4);
  sw::WholeGridMatrix a(model.par.nx, model.par.ny);
  const std::size_t n = static_cast<std::size_t>(a.order());
  std::vector<Cx> b(2 * n);
  const sw::PointSource src[2] = {{1, 40, 37, Cx{1.0, -0.5}}, {3, 91, 6, Cx{0.75, 0.125}}};
  for (int k = 0; k < 2; ++k) sw::wholeGridRightHandSide(a.numbering(), model.par.h, src[k], &b[k * n]);
  {
    sw::MumpsSolver alone(a, sw::kRunOrdering);
    sw::MumpsSolver world(a, sw::kRunOrdering, sw::MumpsRanks::world);
    ASSERT_EQ(alone.rankMemory().size(), 1u);
    ASSERT_EQ(world.rankMemory().size(), static_cast<std::size_t>(ranks));
    double sum = 0.0;
    for (const sw::RankMemory& m : world.rankMemory()) {
      EXPECT_GT(m.estimateMb, 0.0);
      std::printf("estimated memory of a rank %g MB\n", m.estimateMb);
      sum += m.estimateMb;
    }
    EXPECT_EQ(sum, world.estimate().memoryMb);  // INFOG(17): the sum of every INFO(15)
    EXPECT_EQ(world.estimate().factorEntries, alone.estimate().factorEntries);
    for (int jw = 4; jw >= 2; --jw) {
      SCOPED_TRACE(testing::Message() << "frequency index " << jw << ", " << ranks << " ranks");
      sw::StripSystem sys(model.par.nx, model.par.ny, model.par.h, false);
      sw::setWholeGridFrequency(sys, jw, sw::frequencyOfIndex(jw, model.par.delf) * sw::kTwoPi,
                                model.tabled);
      a.assemble(sys);
      alone.factor(a);
      world.factor(a);
      std::vector<Cx> x1 = b, xn = b;
      alone.solve(x1.data(), 2);
      world.solve(xn.data(), 2);
      for (int k = 0; k < 2; ++k) {
        const double d = relativeDistance(&xn[k * n], &x1[k * n], n);
        EXPECT_LE(d, 1e-10) << "shot " << k;
        std::printf("%d ranks, frequency index %d, shot %d: relative distance %.3g\n", ranks, jw,
                    k, d);
        std::vector<Cx> work(n);
        EXPECT_LE(sw::relativeResidual(a, &xn[k * n], &b[k * n], work.data()), 1e-10);
      }
      double used = 0.0;
      for (const sw::RankMemory& m : world.rankMemory()) {
        EXPECT_GT(m.usedMb, 0.0);
        EXPECT_GE(m.allocatedMb, m.usedMb);
        EXPECT_GE(m.largestUsedMb, m.usedMb);
        used += m.usedMb;
      }
      EXPECT_EQ(used, world.memoryTotals().usedMb);  // INFOG(22)
    }
    EXPECT_EQ(world.statistics().factorisations, 3);
  }
  // Both instances are gone: the other ranks have left theirs.
  sw::endSharedMumps(7);
}

}  // namespace

// The sparse direct solve of the whole-grid system: the dense solution on tiny grids,
// one analysis for every frequency, many right-hand sides at once, and its failures.

#include "solvers/mumps_solver.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "core/constants.hpp"
#include "core/frequency.hpp"
#include "solvers/whole_grid.hpp"
#include "support/dense_whole_grid.hpp"
#include "support/layered_model.hpp"

namespace {

using sw::Cx;
using sw::test::cd;
using Model = sw::test::LayeredModel;
using Kind = sw::DirectSolverError::Kind;

constexpr sw::Ordering kOrderings[] = {sw::Ordering::metis, sw::Ordering::amd,
                                       sw::Ordering::scotch};

/// Frequency index jw of `model` set in a system of the whole grid.
sw::StripSystem systemOf(const Model& model, int jw) {
  sw::StripSystem sys(model.par.nx, model.par.ny, model.par.h, false);
  sw::setWholeGridFrequency(sys, jw, sw::frequencyOfIndex(jw, model.par.delf) * sw::kTwoPi,
                            model.tabled);
  return sys;
}

/// The dense solution of `a` for the right-hand side b.
std::vector<cd> denseSolution(const sw::WholeGridMatrix& a, const Cx* b) {
  std::vector<cd> d = sw::test::denseOf(a), x(static_cast<std::size_t>(a.order()));
  for (std::size_t k = 0; k < x.size(); ++k) x[k] = cd(b[k].re, b[k].im);
  sw::test::denseSolve(d, x, a.order());
  return x;
}

/// Largest difference relative to the largest entry of `want`.
double maxRelativeDifference(const Cx* got, const std::vector<cd>& want) {
  double diff = 0.0, size = 0.0;
  for (std::size_t k = 0; k < want.size(); ++k) {
    diff = std::max(diff, std::abs(cd(got[k].re, got[k].im) - want[k]));
    size = std::max(size, std::abs(want[k]));
  }
  EXPECT_GT(size, 0.0);
  return diff / size;
}

/// Three right-hand sides of sources at different elements and of different patterns.
std::vector<Cx> threeSources(const sw::WholeGridMatrix& a, double h) {
  const int nx = a.numbering().nx, ny = a.numbering().ny;
  const std::size_t n = static_cast<std::size_t>(a.order());
  std::vector<Cx> b(3 * n);
  const sw::PointSource src[3] = {{1, (nx + 1) / 2, (ny + 1) / 2, Cx{1.0, -0.5}},
                                  {2, 1, ny, Cx{-0.25, 2.0}},
                                  {3, nx, 1, Cx{0.75, 0.125}}};
  for (int k = 0; k < 3; ++k) sw::wholeGridRightHandSide(a.numbering(), h, src[k], &b[k * n]);
  return b;
}

TEST(MumpsSolver, SolutionsAreTheDenseOnesForEveryOrdering) {
  struct Grid {
    int nx, ny;
  };
  for (const Grid g : {Grid{1, 1}, Grid{5, 1}, Grid{1, 4}, Grid{6, 5}, Grid{13, 11}})
    for (const sw::Ordering o : kOrderings) {
      SCOPED_TRACE(testing::Message() << g.nx << "x" << g.ny << " " << sw::orderingName(o));
      const Model model(g.nx, g.ny, 4);
      const sw::StripSystem sys = systemOf(model, 2);
      sw::WholeGridMatrix a(g.nx, g.ny);
      a.assemble(sys);
      const std::size_t n = static_cast<std::size_t>(a.order());
      const std::vector<Cx> b = threeSources(a, sys.h);
      std::vector<Cx> x = b, work(n);

      sw::MumpsSolver solver(a, o);
      EXPECT_GE(solver.estimate().memoryMb, 0.0);  // whole MB: 0 for the tiniest
      EXPECT_GT(solver.estimate().factorEntries, 0.0);
      solver.factor(a);
      solver.solve(x.data(), 3);
      for (int k = 0; k < 3; ++k) {
        EXPECT_LE(maxRelativeDifference(&x[k * n], denseSolution(a, &b[k * n])), 1e-12)
            << "right-hand side " << k;
        EXPECT_LE(sw::relativeResidual(a, &x[k * n], &b[k * n], work.data()), 1e-10);
      }
      EXPECT_EQ(solver.statistics().solves, 3);
    }
}

TEST(MumpsSolver, OneAnalysisServesEveryFrequency) {
  // The top, middle and bottom of a band, and the top again: each factorisation gives
  // that frequency's dense solution.
  const Model model(9, 7, 24);
  sw::WholeGridMatrix a(9, 7);
  sw::MumpsSolver solver(a, sw::Ordering::metis);  // pattern only: the values are zero
  const std::size_t n = static_cast<std::size_t>(a.order());
  std::vector<Cx> b(n), x(n), work(n);
  int factored = 0;
  for (const int jw : {24, 12, 1, 24}) {
    SCOPED_TRACE(testing::Message() << "jw " << jw);
    a.assemble(systemOf(model, jw));
    sw::wholeGridRightHandSide(a.numbering(), model.par.h,
                               sw::PointSource{1, 3, 3, model.sour(jw)}, b.data());
    x = b;
    solver.factor(a);
    solver.solve(x.data(), 1);
    ++factored;
    EXPECT_LE(maxRelativeDifference(x.data(), denseSolution(a, b.data())), 1e-12);
    EXPECT_LE(sw::relativeResidual(a, x.data(), b.data(), work.data()), 1e-10);
    EXPECT_EQ(solver.statistics().analyses, 1);
    EXPECT_EQ(solver.statistics().factorisations, factored);
  }
}

TEST(MumpsSolver, SingularMatrixIsReportedAsSuch) {
  sw::WholeGridMatrix a(3, 2);
  sw::MumpsSolver solver(a, sw::Ordering::amd);
  try {
    solver.factor(a);  // every value zero
    FAIL() << "a zero matrix was factored";
  } catch (const sw::DirectSolverError& e) {
    EXPECT_EQ(e.kind, Kind::singular) << e.what();
    EXPECT_NE(std::string(e.what()).find("singular"), std::string::npos) << e.what();
  }
}

TEST(MumpsSolver, ErrorCodesBecomeKindsAndMessages) {
  struct Case {
    int info1, info2;
    Kind kind;
    const char* says;
  };
  for (const Case c : {Case{-13, -3000, Kind::noMemory, "allocation of 3000 million entries failed"},
                       Case{-13, 1048576, Kind::noMemory, "allocation of 1048576 entries failed"},
                       Case{-9, 12, Kind::noMemory, "workspace stayed too small"},
                       Case{-19, 0, Kind::noMemory, "more memory than it may use"},
                       Case{-10, 5, Kind::singular, "numerically singular"},
                       Case{-6, 5, Kind::singular, "structurally singular"},
                       Case{-16, 0, Kind::failed, "failed in the factorisation"}}) {
    const sw::DirectSolverError e = sw::mumpsError("factorisation", c.info1, c.info2);
    const std::string what = e.what();
    EXPECT_EQ(e.kind, c.kind) << what;
    EXPECT_NE(what.find(c.says), std::string::npos) << what;
    EXPECT_NE(what.find("INFOG(1) = " + std::to_string(c.info1)), std::string::npos) << what;
  }
}

}  // namespace

// The strip iteration converges to the solution of the whole-grid system: every element
// assembled with one shared pair of unknowns on every edge, absorbing terms on the
// outer edges and the same source, solved directly.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

#include "app/frequency_loop.hpp"
#include "core/constants.hpp"
#include "core/frequency.hpp"
#include "model/run_params.hpp"
#include "solvers/whole_grid.hpp"
#include "strip/strip_system.hpp"
#include "support/dense_whole_grid.hpp"
#include "support/files.hpp"
#include "support/layered_model.hpp"

namespace {

using sw::Cx;
using sw::test::cd;
using Model = sw::test::LayeredModel;

/// The whole-grid solution of frequency index jw on the edges, solved densely.
sw::EdgeFields wholeGridSolution(const Model& model, int jw) {
  const int nx = model.par.nx, ny = model.par.ny;
  const double omega = sw::frequencyOfIndex(jw, model.par.delf) * sw::kTwoPi;
  sw::StripSystem sys(nx, ny, model.par.h);
  sys.setFrequency(jw, omega, model.tabled);
  sw::WholeGridMatrix a(nx, ny);
  a.assemble(sys);
  const int n = a.order();
  std::vector<cd> dense = sw::test::denseOf(a), b(n);
  std::vector<Cx> x(static_cast<std::size_t>(n));
  const sw::PointSource src{model.par.kdel, model.par.jsou, model.par.ksou, model.sour(jw)};
  sw::wholeGridRightHandSide(a.numbering(), model.par.h, src, x.data());
  for (int k = 0; k < n; ++k) b[k] = cd(x[k].re, x[k].im);
  sw::test::denseSolve(dense, b, n);
  for (int k = 0; k < n; ++k) x[k] = Cx{b[k].real(), b[k].imag()};
  sw::EdgeFields f(nx, ny);
  sw::wholeGridToEdgeFields(a.numbering(), x.data(), f);
  return f;
}

/// Largest difference between the edge displacements of `f` and of the whole-grid
/// solution, relative to the largest value of the solution.
double maxRelativeDifference(const sw::EdgeFields& f, const sw::EdgeFields& direct) {
  double maxDiff = 0.0, maxVal = 0.0;
  const auto got = f.displacements(), want = direct.displacements();
  for (std::size_t a = 0; a < got.size(); ++a)
    for (int j = 1; j <= f.ny(); ++j)
      for (int i = 1; i <= f.nx(); ++i) {
        const Cx d = (*want[a])(i, j);
        maxDiff = std::max(maxDiff, sw::abs(d - (*got[a])(i, j)));
        maxVal = std::max(maxVal, sw::abs(d));
      }
  EXPECT_GT(maxVal, 0.0);
  return maxDiff / maxVal;
}

/// Solves frequency index jw with `loop` from the fields in place; true when the log
/// reports convergence.
bool iterateToConvergence(int jw, sw::FrequencyLoop& loop) {
  sw::test::TempDir dir;
  {
    sw::rec::OutFile log;
    log.open(dir.file("output"));
    loop.solveFrequency(jw, log);
  }
  return sw::test::readBytes(dir.file("output")).find(" convergence  for freq.") !=
         std::string::npos;
}

/// Agreement required of a converged iteration with the whole-grid solution.
constexpr double kDirectTolerance = 1e-8;

TEST(DirectSolve, ConvergedStripIterationMatchesTheWholeGridSystem) {
  // Plain, and accelerated at the model's own frequency and in a 48-frequency band at the
  // lowest (0.625 Hz: the same ratio of element size to wavelength as the lowest
  // frequency of the example, where the plain iteration converges slowest) and one in the
  // middle.  The deck's reduc decides the accuracy: accelerated, at 1e-10 the fields are
  // within 1e-8 of the solution.
  struct Case {
    bool accelerate;
    int nx, ny, nfreq, jw, maxiter;
    double reduc;
  };
  for (const Case c :
       {Case{false, 6, 5, 1, 1, 20000, 1e-13}, Case{true, 6, 5, 1, 1, 3000, 1e-10},
        Case{true, 12, 10, 48, 1, 3000, 1e-10}, Case{true, 12, 10, 48, 24, 3000, 1e-10}}) {
    SCOPED_TRACE(testing::Message() << (c.accelerate ? "accelerated " : "plain ") << c.nx << "x"
                                    << c.ny << " jw " << c.jw);
    Model model(c.nx, c.ny, c.nfreq);
    model.par.maxiter = model.par.maxlow = c.maxiter;
    model.par.reduc = c.reduc;
    sw::FrequencyLoop loop(model.par, model.tabled, model.sour, 0, sw::Kernels::lanes,
                           c.accelerate ? sw::Acceleration::always : sw::Acceleration::off);
    ASSERT_TRUE(iterateToConvergence(c.jw, loop));
    EXPECT_LE(maxRelativeDifference(loop.fields(), wholeGridSolution(model, c.jw)),
              kDirectTolerance);
  }
}

TEST(DirectSolve, AcceleratedIterationEndsAtLeastAsCloseAsThePlainOne) {
  // At the same reduc, where the plain iteration converges: the top, the middle and the
  // lowest frequency of a band (the plain iteration converges there on the smallest grid).
  struct Case {
    int nx, ny, nfreq, jw;
  };
  for (const Case c : {Case{6, 5, 1, 1}, Case{12, 10, 48, 24}, Case{16, 14, 48, 48}}) {
    Model model(c.nx, c.ny, c.nfreq);
    model.par.maxiter = model.par.maxlow = 3000;
    model.par.reduc = 1e-6;
    const sw::EdgeFields direct = wholeGridSolution(model, c.jw);
    double distance[2] = {0.0, 0.0};
    for (const bool accelerate : {false, true}) {
      sw::FrequencyLoop loop(model.par, model.tabled, model.sour, 0, sw::Kernels::lanes,
                             accelerate ? sw::Acceleration::always : sw::Acceleration::off);
      ASSERT_TRUE(iterateToConvergence(c.jw, loop)) << c.nx << "x" << c.ny << " jw " << c.jw;
      distance[accelerate] = maxRelativeDifference(loop.fields(), direct);
    }
    EXPECT_LE(distance[1], distance[0]) << c.nx << "x" << c.ny << " jw " << c.jw;
  }
}

TEST(RunInvariants, SharedEdgesAgreeAndOnlyInterfaceMultipliersCarryValues) {
  const int nx = 5, ny = 4;
  Model model(nx, ny, 3);
  model.par.maxiter = model.par.maxlow = 37;
  model.par.reduc = 1e-6;

  sw::test::TempDir dir;
  sw::FrequencyLoop loop(model.par, model.tabled, model.sour);
  {
    sw::rec::OutFile log;
    log.open(dir.file("output"));
    loop.run(log);
  }
  const sw::EdgeFields& f = loop.fields();
  bool interfaceCarries = false;
  for (int j = 1; j <= ny; ++j)
    for (int i = 1; i <= nx; ++i) {
      if (i < nx) {
        EXPECT_EQ(f.u1.r(i, j), f.u1.l(i + 1, j)) << i << "," << j;
        EXPECT_EQ(f.u2.r(i, j), f.u2.l(i + 1, j)) << i << "," << j;
      }
      for (const sw::EdgeQuantity* lag : {&f.lag1, &f.lag2}) {
        EXPECT_EQ(lag->l(i, j), Cx{}) << i << "," << j;
        EXPECT_EQ(lag->r(i, j), Cx{}) << i << "," << j;
        if (j == 1) EXPECT_EQ(lag->b(i, j), Cx{}) << i;
        if (j == ny) EXPECT_EQ(lag->t(i, j), Cx{}) << i;
        interfaceCarries |= j < ny && !(lag->t(i, j) == Cx{});
      }
    }
  EXPECT_TRUE(interfaceCarries) << "the multipliers between strips carry the coupling";
  EXPECT_TRUE(loop.firstNonFinite() == std::nullopt);
}

}  // namespace

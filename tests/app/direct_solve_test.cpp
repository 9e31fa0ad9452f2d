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
#include "coupling/strip_displacements.hpp"
#include "model/run_params.hpp"
#include "strip/element_matrix.hpp"
#include "strip/strip_system.hpp"
#include "support/files.hpp"
#include "support/layered_model.hpp"

namespace {

using sw::Cx;
using cd = std::complex<double>;
using Model = sw::test::LayeredModel;

/// Dense complex LU with partial pivoting; solves A x = b in place of b.
void denseSolve(std::vector<cd>& a, std::vector<cd>& b, int n) {
  for (int k = 0; k < n; ++k) {
    int p = k;
    for (int i = k + 1; i < n; ++i)
      if (std::abs(a[i * n + k]) > std::abs(a[p * n + k])) p = i;
    if (p != k) {
      for (int j = 0; j < n; ++j) std::swap(a[k * n + j], a[p * n + j]);
      std::swap(b[k], b[p]);
    }
    for (int i = k + 1; i < n; ++i) {
      const cd f = a[i * n + k] / a[k * n + k];
      for (int j = k; j < n; ++j) a[i * n + j] -= f * a[k * n + j];
      b[i] -= f * b[k];
    }
  }
  for (int i = n - 1; i >= 0; --i) {
    cd s = b[i];
    for (int j = i + 1; j < n; ++j) s -= a[i * n + j] * b[j];
    b[i] = s / a[i * n + i];
  }
}

/// Global numbering of the edge unknowns: vertical edges (i, j), i = 0 .. nx, between
/// elements i and i+1 of row j; then horizontal edges (i, j), j = 0 .. ny, between rows
/// j and j+1 of column i.  Two components each.
struct EdgeNumbering {
  int nx, ny;
  int vertical(int i, int j) const { return 2 * (i + (nx + 1) * (j - 1)); }
  int horizontal(int i, int j) const { return 2 * ((nx + 1) * ny + (i - 1) + nx * j); }
  int size() const { return 2 * ((nx + 1) * ny + nx * (ny + 1)); }
  /// Unknown of local unknown m (1 .. 8) of element (i, j).
  int local(int i, int j, int m) const {
    const int c = (m - 1) % 2;
    switch ((m - 1) / 2) {
      case 0:
        return vertical(i - 1, j) + c;
      case 1:
        return horizontal(i, j) + c;
      case 2:
        return horizontal(i, j - 1) + c;
      default:
        return vertical(i, j) + c;
    }
  }
};

/// The whole-grid solution of frequency index jw: the displacement pair of every edge.
std::vector<cd> wholeGridSolution(const Model& model, int jw) {
  const int nx = model.par.nx, ny = model.par.ny;
  // The whole-grid system, from the same element matrices and boundary roots.
  const double omega = sw::frequencyOfIndex(jw, model.par.delf) * sw::kTwoPi;
  sw::StripSystem sys(nx, ny, model.par.h);
  sys.setFrequency(jw, omega, model.tabled);
  const sw::Medium& med = sys.med;
  const sw::BoundaryRoots& roots = sys.roots;

  const EdgeNumbering num{nx, ny};
  const int n = num.size();
  std::vector<cd> a(static_cast<std::size_t>(n) * n), b(n);
  for (int j = 1; j <= ny; ++j)
    for (int i = 1; i <= nx; ++i) {
      const sw::ElementCoefficients c{med.p11(i, j), med.p13(i, j), med.p15(i, j), med.p33(i, j),
                                      med.p35(i, j), med.p55(i, j), med.rho(i, j)};
      sw::ElementMatrix e;
      sw::elementStiffnessMass(c, omega, model.par.h, e);
      const double sqrtRho = std::sqrt(med.rho(i, j));
      auto absorbing = [&](const sw::RootVectors& r, int at, sw::Edge edge) {
        sw::EdgeTerm t;
        t.d = 1.0;
        t.z11 = r.r11(at);
        t.z12 = r.r12(at);
        t.z22 = r.r22(at);
        sw::addEdgeTerm(t, edge, omega, model.par.h, sqrtRho, e);
      };
      if (i == 1) absorbing(roots.xl, j, sw::Edge::l);
      if (i == nx) absorbing(roots.xr, j, sw::Edge::r);
      if (j == 1) absorbing(roots.yb, i, sw::Edge::b);
      if (j == ny) absorbing(roots.yt, i, sw::Edge::t);
      for (int m = 1; m <= 8; ++m)
        for (int r = 1; r <= 8; ++r)
          a[static_cast<std::size_t>(num.local(i, j, m)) * n + num.local(i, j, r)] +=
              cd(e(m, r).re, e(m, r).im);
    }

  // The source: the right-hand side of the source strip with no transmission data.
  const sw::EdgeFields zero(nx, ny);
  std::vector<Cx> rhs(static_cast<std::size_t>(sw::stripUnknowns(nx)) + 1);
  const sw::PointSource src{model.par.kdel, model.par.jsou, model.par.ksou, model.sour(jw)};
  sw::stripRightHandSide(model.par.ksou, sys, src, zero, rhs.data());
  for (int i = 1; i <= nx; ++i)
    for (int m = i == 1 ? 1 : 3; m <= 8; ++m) {  // the left pair of i > 1 is i-1's right pair
      const Cx v = rhs[sw::stripUnknown(i, m)];
      b[num.local(i, model.par.ksou, m)] += cd(v.re, v.im);
    }
  denseSolve(a, b, n);
  return b;
}

/// Largest difference between the edge displacements and the whole-grid solution,
/// relative to the largest value of the solution.
double maxRelativeDifference(const sw::EdgeFields& f, const std::vector<cd>& direct) {
  const int nx = f.nx(), ny = f.ny();
  const EdgeNumbering num{nx, ny};
  double maxDiff = 0.0, maxVal = 0.0;
  for (int j = 1; j <= ny; ++j)
    for (int i = 1; i <= nx; ++i) {
      const Cx* u[8] = {&f.u1.l(i, j), &f.u2.l(i, j), &f.u1.t(i, j), &f.u2.t(i, j),
                        &f.u1.b(i, j), &f.u2.b(i, j), &f.u1.r(i, j), &f.u2.r(i, j)};
      for (int m = 1; m <= 8; ++m) {
        const cd d = direct[num.local(i, j, m)];
        maxDiff = std::max(maxDiff, std::abs(d - cd(u[m - 1]->re, u[m - 1]->im)));
        maxVal = std::max(maxVal, std::abs(d));
      }
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
    const std::vector<cd> direct = wholeGridSolution(model, c.jw);
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

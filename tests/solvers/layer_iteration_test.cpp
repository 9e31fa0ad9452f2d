// The strip iteration of a grid with a matched layer around it (GMRES on the carried
// state) against the dense solution of the extended grid's whole system, and the plain
// exchange it replaces, which does not converge there.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <span>
#include <vector>

#include "core/constants.hpp"
#include "core/frequency.hpp"
#include "materials/layered_materials.hpp"
#include "solvers/whole_grid.hpp"
#include "support/dense_whole_grid.hpp"
#include "support/solver_run.hpp"

namespace {

using sw::Cx;

struct Solved {
  sw::SolveOutcome outcome;
  sw::EdgeFields fields;
};

/// Frequency index jw of the model's grid inside a layer of three elements (four sides),
/// by the strip iteration with `acceleration`.
Solved iterate(const sw::test::LayeredModel& model, const sw::MaterialModel& stretched,
               const sw::MatchedLayer& layer, int jw, sw::Acceleration acceleration,
               int threads, int maxit, double reduc) {
  sw::StripIteration it(sw::StripGrid{layer.extendedNx(), layer.extendedNy(), model.par.h},
                        stretched,
                        sw::StripIterationSettings{threads, sw::Kernels::lanes, acceleration});
  EXPECT_EQ(it.kernels(), sw::Kernels::scalar);
  sw::test::factorAt(it, model, jw);
  sw::PointSource src = sw::test::deckSource(model, jw);
  src.jsou += layer.left();
  src.ksou += layer.bottom();
  sw::test::IgnorePasses quiet;
  Solved s;
  it.solve(jw, std::span<const sw::PointSource>(&src, 1), sw::IterationLimits{maxit, reduc},
           quiet, std::span<sw::SolveOutcome>(&s.outcome, 1));
  s.fields = it.fields(0);
  return s;
}

/// The edge displacements of the dense solution of the extended grid's whole system.
sw::EdgeFields denseSolution(const sw::test::LayeredModel& model,
                             const sw::MaterialModel& stretched, const sw::MatchedLayer& layer,
                             int jw) {
  const int nx = layer.extendedNx(), ny = layer.extendedNy();
  sw::StripSystem sys(nx, ny, model.par.h);
  sys.setFrequency(jw, sw::frequencyOfIndex(jw, model.par.delf) * sw::kTwoPi, stretched);
  sw::PointSource src = sw::test::deckSource(model, jw);
  src.jsou += layer.left();
  src.ksou += layer.bottom();
  sw::test::DenseSystem d = sw::test::denseWholeGrid(sys, src);
  sw::test::denseSolve(d.a, d.b, d.n);
  std::vector<Cx> x(static_cast<std::size_t>(d.n));
  for (std::size_t k = 0; k < x.size(); ++k) x[k] = Cx{d.b[k].real(), d.b[k].imag()};
  const sw::WholeGridMatrix a(nx, ny);
  sw::EdgeFields f(nx, ny);
  sw::wholeGridToEdgeFields(a.numbering(), x.data(), f);
  return f;
}

/// Relative L2 distance of the displacements (both components, every side).
double distance(const sw::EdgeFields& a, const sw::EdgeFields& b) {
  double num = 0.0, den = 0.0;
  const auto add = [&](const sw::EdgeQuantity& p, const sw::EdgeQuantity& q) {
    for (const sw::Edge e : {sw::Edge::l, sw::Edge::t, sw::Edge::b, sw::Edge::r})
      for (int j = 1; j <= a.ny(); ++j)
        for (int i = 1; i <= a.nx(); ++i) {
          const Cx d = p[e](i, j) - q[e](i, j);
          num += d.re * d.re + d.im * d.im;
          den += q[e](i, j).re * q[e](i, j).re + q[e](i, j).im * q[e](i, j).im;
        }
  };
  add(a.u1, b.u1);
  add(a.u2, b.u2);
  return std::sqrt(num / den);
}

/// The model's 9 x 8 grid inside a layer of `elements`, over `inner`'s medium.
struct LayeredGrid {
  const sw::test::LayeredModel& model;
  sw::MatchedLayer layer;
  sw::LayeredMaterials stretched;
  LayeredGrid(const sw::test::LayeredModel& m, const sw::MaterialModel& inner, int elements)
      : model(m), layer{elements, true, m.par.nx, m.par.ny}, stretched(inner, layer, m.par.h) {}
  Solved iterate(int jw, sw::Acceleration acceleration, int threads, int maxit,
                 double reduc) const {
    return ::iterate(model, stretched, layer, jw, acceleration, threads, maxit, reduc);
  }
};

/// GMRES converges to the dense solution at frequency indices 2 and 1; the passes each took.
std::vector<int> expectTheDenseSolution(const LayeredGrid& g, int maxit) {
  std::vector<int> passes;
  for (const int jw : {2, 1}) {
    SCOPED_TRACE(jw);
    const Solved gmres = g.iterate(jw, sw::Acceleration::krylov, 1, maxit, 1e-12);
    EXPECT_TRUE(gmres.outcome.converged) << gmres.outcome.passes;
    EXPECT_LT(distance(gmres.fields, denseSolution(g.model, g.stretched, g.layer, jw)), 1e-9);
    passes.push_back(gmres.outcome.passes);
  }
  return passes;
}

TEST(LayerIteration, ConvergesToTheWholeSystemsSolutionWhereThePlainExchangeDoesNot) {
  const sw::test::LayeredModel model(9, 8, 2);
  const LayeredGrid g(model, model.tabled, 3);
  const std::vector<int> passes = expectTheDenseSolution(g, 2000);
  for (std::size_t k = 0; k < passes.size(); ++k) {
    const int jw = k == 0 ? 2 : 1;
    const Solved plain = g.iterate(jw, sw::Acceleration::off, 1, passes[k], 1e-12);
    EXPECT_FALSE(plain.outcome.converged);
    const double off = distance(plain.fields, denseSolution(model, g.stretched, g.layer, jw));
    EXPECT_FALSE(off < 1e-3) << off;
  }
}

/// The model's medium with its top rows a fluid (no shear stiffness: p55 = p15 = p35 = 0,
/// p13 = p33 = p11), as a sea is.
class FluidTop final : public sw::MaterialModel {
 public:
  FluidTop(const sw::MaterialModel& inner, int rows) : inner_(inner), rows_(rows) {}
  void fillMedium(int jw, double omega, sw::Medium& med, int threads) const override {
    inner_.fillMedium(jw, omega, med, threads);
    const int nx = med.rho.nx(), ny = med.rho.ny();
    for (int j = ny - rows_ + 1; j <= ny; ++j)
      for (int i = 1; i <= nx; ++i) {
        med.p55(i, j) = med.p15(i, j) = med.p35(i, j) = Cx{0.0, 0.0};
        med.p13(i, j) = med.p33(i, j) = med.p11(i, j);
      }
  }
  std::size_t bytes() const override { return inner_.bytes(); }

 private:
  const sw::MaterialModel& inner_;
  int rows_;
};

TEST(LayerIteration, ConvergesWithAFluidInTheLayer) {
  // A sea at the top, and so in the top layer: its edges have no shear parameter, and the
  // exchange of the tangential data there neither damps nor converges by itself.
  const sw::test::LayeredModel model(9, 8, 2);
  const FluidTop sea(model.tabled, 3);
  expectTheDenseSolution(LayeredGrid(model, sea, 4), 1500);
}

TEST(LayerIteration, FieldsDoNotDependOnTheThreadCount) {
  const sw::test::LayeredModel model(9, 8, 2);
  const LayeredGrid g(model, model.tabled, 3);
  const Solved one = g.iterate(2, sw::Acceleration::krylov, 1, 300, 1e-10);
  const Solved two = g.iterate(2, sw::Acceleration::krylov, 2, 300, 1e-10);
  EXPECT_EQ(one.outcome.passes, two.outcome.passes);
  const auto a = one.fields.arrays();
  const auto b = two.fields.arrays();
  for (std::size_t k = 0; k < a.size(); ++k)
    EXPECT_EQ(std::memcmp(a[k]->data(), b[k]->data(), a[k]->size() * sizeof(Cx)), 0) << k;
}

}  // namespace

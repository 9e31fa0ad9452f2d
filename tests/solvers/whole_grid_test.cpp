// The whole-grid system in coordinate format against the dense one written out
// independently: the same matrix, the same source, and a solution mapped onto the edges.

#include "solvers/whole_grid.hpp"

#include <gtest/gtest.h>

#include <complex>
#include <vector>

#include "core/constants.hpp"
#include "core/frequency.hpp"
#include "support/dense_whole_grid.hpp"
#include "support/layered_model.hpp"

namespace {

using sw::Cx;
using sw::test::cd;
using Model = sw::test::LayeredModel;

/// The system of frequency index jw of `model`, every edge's parameters included.
sw::StripSystem systemOf(const Model& model, int jw) {
  sw::StripSystem sys(model.par.nx, model.par.ny, model.par.h);
  sys.setFrequency(jw, sw::frequencyOfIndex(jw, model.par.delf) * sw::kTwoPi, model.tabled);
  return sys;
}

struct Grid {
  int nx, ny;
};

TEST(WholeGrid, MatrixAndSourceAreThoseOfTheDenseAssembly) {
  // One element (every edge absorbing), one row, one column, and grids with the layers
  // and the anisotropic block; the sources of every pattern at a corner and inside.
  for (const Grid g : {Grid{1, 1}, Grid{4, 1}, Grid{1, 3}, Grid{6, 5}, Grid{7, 8}}) {
    SCOPED_TRACE(testing::Message() << g.nx << "x" << g.ny);
    const Model model(g.nx, g.ny, 4);
    const sw::StripSystem sys = systemOf(model, 3);
    sw::WholeGridMatrix a(g.nx, g.ny);
    ASSERT_EQ(a.entries(), 36L * g.nx * g.ny);
    a.assemble(sys, 2);
    const sw::test::DenseSystem want =
        sw::test::denseWholeGrid(sys, sw::PointSource{1, 1, 1, Cx{}});
    ASSERT_EQ(a.order(), want.n);
    for (std::size_t k = 0; k < a.rows().size(); ++k)
      ASSERT_GE(a.rows()[k], a.columns()[k]) << "entry " << k << " in the lower triangle";
    EXPECT_TRUE(sw::test::denseOf(a) == want.a) << "the same entries, added in the same order";

    std::vector<Cx> b(static_cast<std::size_t>(a.order()));
    for (int kdel = 0; kdel <= 3; ++kdel)
      for (const sw::PointSource src : {sw::PointSource{kdel, 1, 1, Cx{0.5, -2.0}},
                                        sw::PointSource{kdel, g.nx, g.ny, Cx{-1.5, 0.25}},
                                        sw::PointSource{kdel, (g.nx + 1) / 2, g.ny, Cx{3.0, 1.0}}}) {
        sw::wholeGridRightHandSide(a.numbering(), sys.h, src, b.data());
        const sw::test::DenseSystem ref = sw::test::denseWholeGrid(sys, src);
        for (int k = 0; k < a.order(); ++k)
          ASSERT_EQ(cd(b[k].re, b[k].im), ref.b[k])
              << "kdel " << kdel << " at " << src.jsou << "," << src.ksou << ": unknown " << k;
      }
  }
}

TEST(WholeGrid, SourceOutsideTheGridGivesNoRightHandSide) {
  const sw::WholeGridNumbering num{3, 2};
  std::vector<Cx> b(static_cast<std::size_t>(num.size()), Cx{1.0, 1.0});
  for (const sw::PointSource src : {sw::PointSource{1, 0, 1, Cx{1.0, 0.0}},
                                    sw::PointSource{1, 4, 1, Cx{1.0, 0.0}},
                                    sw::PointSource{1, 2, 3, Cx{1.0, 0.0}}}) {
    sw::wholeGridRightHandSide(num, 10.0, src, b.data());
    for (const Cx v : b) EXPECT_EQ(v, Cx{});
  }
}

TEST(WholeGrid, DenseSolutionOnTheEdgesHasASmallResidual) {
  const int nx = 5, ny = 4;
  const Model model(nx, ny, 2);
  const sw::StripSystem sys = systemOf(model, 2);
  sw::WholeGridMatrix a(nx, ny);
  a.assemble(sys);
  const sw::PointSource src{1, 3, 2, Cx{1.0, -0.5}};
  sw::test::DenseSystem d = sw::test::denseWholeGrid(sys, src);
  std::vector<Cx> b(static_cast<std::size_t>(a.order())), x(b.size()), work(b.size());
  sw::wholeGridRightHandSide(a.numbering(), sys.h, src, b.data());
  sw::test::denseSolve(d.a, d.b, d.n);
  for (std::size_t k = 0; k < x.size(); ++k) x[k] = Cx{d.b[k].real(), d.b[k].imag()};

  EXPECT_LT(sw::relativeResidual(a, x.data(), b.data(), work.data()), 1e-12);
  const std::vector<Cx> zero(b.size());
  EXPECT_EQ(sw::relativeResidual(a, zero.data(), b.data(), work.data()), 1.0);

  // Each edge's pair is seen from the elements on both sides; the multipliers are zero.
  sw::EdgeFields f(nx, ny);
  f.lag1.t(2, 2) = Cx{7.0, 7.0};
  sw::wholeGridToEdgeFields(a.numbering(), x.data(), f);
  const sw::test::EdgeNumbering num{nx, ny};
  for (int j = 1; j <= ny; ++j)
    for (int i = 1; i <= nx; ++i) {
      EXPECT_EQ(f.u1.l(i, j), x[num.vertical(i - 1, j)]);
      EXPECT_EQ(f.u2.r(i, j), x[num.vertical(i, j) + 1]);
      EXPECT_EQ(f.u1.b(i, j), x[num.horizontal(i, j - 1)]);
      EXPECT_EQ(f.u2.t(i, j), x[num.horizontal(i, j) + 1]);
      if (i < nx) EXPECT_EQ(f.u2.r(i, j), f.u2.l(i + 1, j));
      if (j < ny) EXPECT_EQ(f.u1.t(i, j), f.u1.b(i, j + 1));
      EXPECT_EQ(f.lag1.t(i, j), Cx{});
    }
}

}  // namespace

// The iteration arithmetic: relaxation, the change measure and its summation order, and
// the log lines of a frequency's iteration.

#include "coupling/iteration.hpp"

#include "coupling/change.hpp"
#include "coupling/relaxation.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "support/run.hpp"

namespace {

using sw::Cx;
using sw::EdgeFields;

/// The change of two iterates, on one thread.
sw::Change change(const EdgeFields& cur, const EdgeFields& prev) {
  sw::ChangeTerms terms;
  return sw::measureChange(cur, prev, terms, 1);
}

/// Sets every displacement (not multiplier) of the elements to `v`.
void setDisplacements(EdgeFields& f, int nx, int ny, Cx v) {
  for (sw::EdgeQuantity* q : {&f.u1, &f.u2})
    for (sw::Grid<Cx>* g : {&q->l, &q->t, &q->b, &q->r})
      for (int j = 1; j <= ny; ++j)
        for (int i = 1; i <= nx; ++i) (*g)(i, j) = v;
}

TEST(Relax, WeightsAreSevenTenthsAndOneMinusThat) {
  EdgeFields cur(2, 2), prev(2, 2);
  cur.lag2.t(1, 2) = Cx{1.0, -2.0};
  prev.lag2.t(1, 2) = Cx{3.0, 5.0};
  cur.u1.l(0, 1) = Cx{7.0, 7.0};  // ghost frame: never relaxed
  sw::relax(cur, prev);
  EXPECT_EQ(cur.lag2.t(1, 2).re, 0.7 * 1.0 + 0.30000000000000004 * 3.0);
  EXPECT_EQ(cur.lag2.t(1, 2).im, 0.7 * -2.0 + 0.30000000000000004 * 5.0);
  EXPECT_NE(cur.lag2.t(1, 2).re, 0.7 * 1.0 + 0.3 * 3.0) << "the weight is 1 - 0.7, not 0.3";
  EXPECT_EQ(cur.u1.l(0, 1), (Cx{7.0, 7.0}));
}

TEST(MeasureChange, SumsElementsWithXOuterAndLeavesMultipliersOut) {
  // Differences of squared size 1, 1e16, 1, 0 at (1,1), (1,2), (2,1), (2,2): with x
  // outer the two 1s are added one at a time to 1e16 and vanish; with y outer they
  // would add up to 2 first.
  EdgeFields cur(2, 2), prev(2, 2);
  cur.u1.l(1, 1) = Cx{1.0, 0.0};
  cur.u1.l(1, 2) = Cx{1e8, 0.0};
  cur.u1.l(2, 1) = Cx{1.0, 0.0};
  cur.lag1.t(2, 2) = Cx{1e9, 0.0};
  const sw::Change c = change(cur, prev);
  EXPECT_EQ(c.errnum, 1.0 + 1e16);
  EXPECT_EQ(c.errden, 1.0 + 1e16);

  // Within one element the arrays are taken u1 l, t, b, r, then u2 l, t, b, r.
  EdgeFields a(1, 1), b(1, 1);
  a.u1.l(1, 1) = Cx{1.0, 0.0};
  a.u2.r(1, 1) = Cx{1e8, 0.0};
  a.u2.l(1, 1) = Cx{1.0, 0.0};
  EXPECT_EQ(change(a, b).errnum, 2.0 + 1e16);
}

TEST(MeasureChange, SquaresTheModulusRatherThanSummingSquares) {
  // |1 + i| is the double nearest sqrt(2); squared it gives 2.0000000000000004, where
  // re^2 + im^2 would give 2 exactly.
  EdgeFields cur(1, 1), prev(1, 1);
  cur.u2.b(1, 1) = Cx{1.0, 1.0};
  const sw::Change c = change(cur, prev);
  EXPECT_EQ(c.errnum, 2.0000000000000004);
  EXPECT_EQ(c.errden, 2.0000000000000004);
}

/// Runs `iterateFrequency` on a 2 by 1 grid with the given sweep and returns the log it wrote.
std::string iterateWith(const std::function<void(EdgeFields&)>& sweep, sw::IterationControl& ctl,
                        int jw, sw::IterationResult* result = nullptr) {
  sw::test::TempDir dir;
  const auto file = dir.path() / "log";
  {
    sw::rec::OutFile log;
    log.open(file.string());
    EdgeFields cur(2, 1), prev(2, 1);
    const sw::IterationResult r = sw::iterateFrequency(
        jw, ctl, cur, prev, [&] { sweep(cur); }, log);
    if (result) *result = r;
  }
  return sw::test::readBytes(file.string());
}

/// The same with a sweep that sets every displacement to `target`.
std::string iterateTowards(Cx target, sw::IterationControl& ctl, int jw,
                           sw::IterationResult* result = nullptr) {
  return iterateWith([target](EdgeFields& f) { setDisplacements(f, 2, 1, target); }, ctl, jw,
                     result);
}

TEST(IterateFrequency, ConvergesWhenTheRelaxedChangeFallsBelowReduc) {
  // Towards a fixed target the relaxed fields are 1 - 0.3^n of it, and the change of
  // pass n is 2 (0.7 0.3^(n-1)) / (2 - 0.3^(n-1) (1 + 0.3)), below 1e-3 first at n = 7.
  sw::IterationControl ctl{.maxit = 150, .reduc = 1e-3, .relerr = 0.0};
  sw::IterationResult r;
  const std::string log = iterateTowards(Cx{2.0, -1.0}, ctl, 7, &r);
  EXPECT_TRUE(r.converged);
  EXPECT_EQ(r.passes, 7);
  EXPECT_LT(ctl.relerr, 1e-3);
  EXPECT_NE(log.find("achieved in     7 inner iterations"), std::string::npos) << log;
}

TEST(IterateFrequency, GlobalErrorLinePrecedesTheConvergenceLineOfTheSamePass) {
  // The sweep makes the fields oscillate for 99 passes and then leaves them alone, so
  // the hundredth pass barely changes anything and converges.
  int pass = 0;
  auto sweep = [&pass](EdgeFields& f) {
    ++pass;
    if (pass < 100) setDisplacements(f, 2, 1, Cx{pass % 2 == 1 ? 1.0 : -1.0, 0.0});
  };
  sw::IterationControl ctl{.maxit = 150, .reduc = 1e-10, .relerr = 0.0};
  sw::IterationResult r;
  const std::string log = iterateWith(sweep, ctl, 3, &r);
  EXPECT_TRUE(r.converged);
  EXPECT_EQ(r.passes, 100);
  const auto global = log.find("\n  global error = ");
  const auto converged = log.find("\n  convergence  for freq. #     3 achieved in   100 inner");
  ASSERT_NE(global, std::string::npos) << log;
  ASSERT_NE(converged, std::string::npos) << log;
  EXPECT_LT(global, converged);
  EXPECT_NE(log.find("iteration number =   100 denomin. = "), std::string::npos) << log;
}

TEST(IterateFrequency, NonPositiveLimitRunsNoPassAndReportsTheLastChange) {
  sw::IterationControl ctl{.maxit = 0, .reduc = 1e-3, .relerr = 0.0};
  sw::IterationResult r;
  EXPECT_EQ(iterateTowards(Cx{1.0, 0.0}, ctl, 5, &r),
            "\n  NO convergence  for freq. #     5 after      0 inner iterations \n"
            " relative error value reduction =       0.00000000E+00\n\n");
  EXPECT_EQ(r.passes, 0);

  ctl.maxit = -4;
  ctl.relerr = 0.25;  // carried over from an earlier frequency
  EXPECT_EQ(iterateTowards(Cx{1.0, 0.0}, ctl, 4),
            "\n  NO convergence  for freq. #     4 after      0 inner iterations \n"
            " relative error value reduction =       0.25000000E+00\n\n");
}

}  // namespace

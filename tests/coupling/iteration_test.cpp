// The iteration arithmetic: relaxation, the change measure and its summation order, and
// what a frequency's iteration tells its observer.

#include "coupling/iteration.hpp"

#include "core/interrupt.hpp"
#include "coupling/change.hpp"
#include "coupling/relaxation.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

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

/// What the iteration told its observer: every pass's number, change and denominator.
struct PassRecord final : sw::PassObserver {
  std::vector<int> iters;
  std::vector<double> relerrs, errdens;
  void pass(int iter, double relerr, double errden) override {
    iters.push_back(iter);
    relerrs.push_back(relerr);
    errdens.push_back(errden);
  }
};

/// Runs `iterateFrequency` on a 2 by 1 grid with the given sweep.
sw::IterationResult iterateWith(const std::function<void(EdgeFields&)>& sweep,
                                sw::IterationControl& ctl, int jw, PassRecord& seen) {
  EdgeFields cur(2, 1), prev(2, 1);
  return sw::iterateFrequency(jw, ctl, cur, prev, [&] { sweep(cur); }, seen);
}

/// The same with a sweep that sets every displacement to `target`.
sw::IterationResult iterateTowards(Cx target, sw::IterationControl& ctl, int jw,
                                   PassRecord& seen) {
  return iterateWith([target](EdgeFields& f) { setDisplacements(f, 2, 1, target); }, ctl, jw,
                     seen);
}

TEST(IterateFrequency, ConvergesWhenTheRelaxedChangeFallsBelowReduc) {
  // Towards a fixed target the relaxed fields are 1 - 0.3^n of it, and the change of
  // pass n is 2 (0.7 0.3^(n-1)) / (2 - 0.3^(n-1) (1 + 0.3)), below 1e-3 first at n = 7.
  sw::IterationControl ctl{.maxit = 150, .reduc = 1e-3, .relerr = 0.0};
  PassRecord seen;
  const sw::IterationResult r = iterateTowards(Cx{2.0, -1.0}, ctl, 7, seen);
  EXPECT_TRUE(r.converged);
  EXPECT_EQ(r.passes, 7);
  EXPECT_LT(ctl.relerr, 1e-3);
  ASSERT_EQ(seen.iters, (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(seen.relerrs.front(), 1.0) << "the first pass of a frequency has no change";
  EXPECT_EQ(seen.relerrs.back(), ctl.relerr);
  const double q = std::pow(0.3, 6);
  EXPECT_NEAR(seen.relerrs[6], 2.0 * 0.7 * q / (2.0 - q * 1.3), 1e-12);
}

TEST(IterateFrequency, ObserverSeesTheHundredthPassWithItsDenominator) {
  // The sweep makes the fields oscillate for 99 passes and then leaves them alone, so
  // the hundredth pass barely changes anything and converges.
  int pass = 0;
  auto sweep = [&pass](EdgeFields& f) {
    ++pass;
    if (pass < 100) setDisplacements(f, 2, 1, Cx{pass % 2 == 1 ? 1.0 : -1.0, 0.0});
  };
  sw::IterationControl ctl{.maxit = 150, .reduc = 1e-10, .relerr = 0.0};
  PassRecord seen;
  const sw::IterationResult r = iterateWith(sweep, ctl, 3, seen);
  EXPECT_TRUE(r.converged);
  EXPECT_EQ(r.passes, 100);
  ASSERT_EQ(seen.iters.size(), 100u);
  EXPECT_EQ(seen.iters.back(), 100);
  EXPECT_GT(seen.errdens.back(), 0.0);
}

TEST(IterateFrequency, NonPositiveLimitRunsNoPassAndKeepsTheLastChange) {
  sw::IterationControl ctl{.maxit = 0, .reduc = 1e-3, .relerr = 0.25};
  PassRecord seen;
  sw::IterationResult r = iterateTowards(Cx{1.0, 0.0}, ctl, 5, seen);
  EXPECT_FALSE(r.converged);
  EXPECT_EQ(r.passes, 0);
  EXPECT_TRUE(seen.iters.empty());
  EXPECT_EQ(ctl.relerr, 0.25) << "carried over from an earlier frequency";
  ctl.maxit = -4;
  r = iterateTowards(Cx{1.0, 0.0}, ctl, 4, seen);
  EXPECT_EQ(r.passes, 0);
  EXPECT_TRUE(seen.iters.empty());
}

/// Iterates with a pass that raises SIGINT the third time, then exits with 0 after
/// writing how the loop ended, or with 1 if it did not stop.
[[noreturn]] void iterateUntilSignalled() {
  sw::installInterruptHandlers();
  PassRecord seen;
  int passes = 0;
  sw::IterationControl ctl{.maxit = 150, .reduc = 1e-30, .relerr = 0.0};
  try {
    sw::iteratePasses(
        7, ctl,
        [&passes](bool) {
          if (++passes == 3) std::raise(SIGINT);
          return sw::Change{1.0, 1.0};
        },
        seen);
  } catch (const sw::Interrupted& stop) {
    std::fprintf(stderr, "%d passes, stopped %s by %s", passes, stop.where.c_str(),
                 sw::signalName(stop.signal).c_str());
    std::exit(0);
  }
  std::exit(1);
}

TEST(IterateFrequency, SignalDuringAPassStopsBeforeTheNext) {
  // In a child process: the handlers and the noted signal stay with it.
  EXPECT_EXIT(iterateUntilSignalled(), testing::ExitedWithCode(0),
              "^3 passes, stopped at frequency number 7, pass 4 by SIGINT$");
}

}  // namespace

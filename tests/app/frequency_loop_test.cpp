// The log lines the frequency loop writes for what the solvers report, and the strip
// iteration of several shots at once.

#include "app/frequency_loop.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/files.hpp"
#include "support/layered_model.hpp"
#include "support/solver_run.hpp"

namespace {

/// The bytes `write` puts in a fresh log.
template <class Write>
std::string logged(const Write& write) {
  sw::test::TempDir dir;
  {
    sw::rec::OutFile log;
    log.open(dir.file("output"));
    write(log);
  }
  return sw::test::readBytes(dir.file("output"));
}

TEST(LogOutcome, ConvergedNotConvergedAndDirectLines) {
  EXPECT_EQ(logged([](sw::rec::OutFile& log) {
              sw::logOutcome(5, sw::SolveOutcome{false, 0, 0.25, std::nullopt}, log);
            }),
            "\n  NO convergence  for freq. #     5 after      0 inner iterations \n"
            " relative error value reduction =       0.25000000E+00\n\n");
  EXPECT_EQ(logged([](sw::rec::OutFile& log) {
              sw::logOutcome(7, sw::SolveOutcome{true, 7, 5.0e-4, std::nullopt}, log);
            }),
            "\n  convergence  for freq. #     7 achieved in     7 inner iterations \n"
            " relative error value =       0.50000000E-03\n\n");
  EXPECT_EQ(logged([](sw::rec::OutFile& log) {
              sw::logOutcome(12, sw::SolveOutcome{true, 0, 0.0, 3.5e-14}, log);
            }),
            "\n  direct solve  for freq. #    12 relative residual =       0.35000000E-13\n\n");
}

TEST(FrequencyLoop, GlobalErrorLineEveryHundredPassesBeforeTheOutcome) {
  sw::test::LayeredModel model(6, 5);
  model.par.maxiter = model.par.maxlow = 200;
  model.par.reduc = 0.0;  // never converges: 200 passes
  sw::FrequencyLoop loop(model.par, model.tabled, model.sour, 1);
  const std::string log = logged([&](sw::rec::OutFile& out) { loop.solveFrequency(1, out); });
  const auto first = log.find("iteration number =   100 denomin. = ");
  const auto second = log.find("iteration number =   200 denomin. = ");
  const auto outcome = log.find("NO convergence  for freq. #     1 after    200 inner");
  ASSERT_NE(first, std::string::npos) << log;
  ASSERT_NE(second, std::string::npos) << log;
  ASSERT_NE(outcome, std::string::npos) << log;
  EXPECT_LT(first, second);
  EXPECT_LT(second, outcome);
  EXPECT_EQ(log.find("iteration number =   150"), std::string::npos);
}

TEST(StripIteration, EveryShotIteratesAsIfAlone) {
  // Two shots at two sources over three frequencies: each ends where a one-shot solver
  // with that source ends, bit for bit, plain and accelerated, scalar and lanes.
  for (const sw::Kernels kernels : {sw::Kernels::scalar, sw::Kernels::lanes})
    for (const sw::Acceleration accel : {sw::Acceleration::off, sw::Acceleration::always}) {
      SCOPED_TRACE(testing::Message() << (kernels == sw::Kernels::lanes ? "lanes" : "scalar")
                                      << (accel == sw::Acceleration::off ? "" : " accelerated"));
      sw::test::LayeredModel model(8, 9, 3);
      model.par.reduc = 1e-6;
      const sw::StripGrid grid{model.par.nx, model.par.ny, model.par.h};
      sw::StripIteration both(grid, model.tabled, sw::StripIterationSettings{1, kernels, accel, 2});
      std::vector<sw::StripIteration> alone;
      for (int k = 0; k < 2; ++k)
        alone.emplace_back(grid, model.tabled, sw::StripIterationSettings{1, kernels, accel, 1});
      sw::test::IgnorePasses quiet;
      const sw::IterationLimits limits{model.par.maxiter, model.par.reduc};
      for (int jw = 3; jw >= 1; --jw) {
        const sw::PointSource src[2] = {sw::test::deckSource(model, jw),
                                        {1, 6, 7, model.sour(jw)}};
        sw::SolveOutcome out[2], one;
        for (sw::FrequencySolver* s : {static_cast<sw::FrequencySolver*>(&both),
                                       static_cast<sw::FrequencySolver*>(&alone[0]),
                                       static_cast<sw::FrequencySolver*>(&alone[1])})
          sw::test::factorAt(*s, model, jw);
        both.solve(jw, src, limits, quiet, out);
        for (int k = 0; k < 2; ++k) {
          alone[k].solve(jw, std::span<const sw::PointSource>(&src[k], 1), limits, quiet,
                         std::span<sw::SolveOutcome>(&one, 1));
          EXPECT_EQ(out[k].passes, one.passes);
          EXPECT_EQ(out[k].relerr, one.relerr);
          const sw::EdgeFields& a = both.fields(k);
          const sw::EdgeFields& b = alone[k].fields(0);
          for (int j = 1; j <= model.par.ny; ++j)
            for (int i = 1; i <= model.par.nx; ++i) {
              ASSERT_EQ(a.u1.t(i, j), b.u1.t(i, j)) << "shot " << k << " jw " << jw;
              ASSERT_EQ(a.u2.l(i, j), b.u2.l(i, j)) << "shot " << k << " jw " << jw;
            }
        }
        EXPECT_NE(both.fields(0).u2.t(4, 4), both.fields(1).u2.t(4, 4));
      }
    }
}

}  // namespace

// The sparse direct solution of a frequency against the strip iteration converged far
// below the usual tolerance, on the examples: the traces and the edge displacements.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/frequency_loop.hpp"
#include "core/constants.hpp"
#include "core/frequency.hpp"
#include "materials/tabled_materials.hpp"
#include "output/accumulate.hpp"
#include "solvers/mumps_solver.hpp"
#include "solvers/whole_grid.hpp"
#include "support/files.hpp"
#include "support/input_harness.hpp"
#include "support/run.hpp"

namespace {

using sw::Cx;
namespace fs = std::filesystem;

/// sqrt(sum |a - b|^2 / sum |b|^2) over the pairs handed to `add`.
class RelativeL2 {
 public:
  void add(Cx a, Cx b) {
    const Cx d = a - b;
    diff_ += d.re * d.re + d.im * d.im;
    size_ += b.re * b.re + b.im * b.im;
  }
  double value() const {
    EXPECT_GT(size_, 0.0);
    return std::sqrt(diff_ / size_);
  }

 private:
  double diff_ = 0.0, size_ = 0.0;
};

struct Example {
  const char* name;
  fs::path input;
  std::vector<int> jw;  ///< frequency indices compared (0: the top of the band)
};

TEST(MumpsSolver, SolutionIsTheConvergedStripIterationOnTheExamples) {
  const fs::path examples = fs::path(STRIPWAVE_SOURCE_DIR).parent_path() / "examples";
  const fs::path stored = fs::path(STRIPWAVE_TEST_DATA) / "golden";
  for (const Example& ex : {Example{"homogeneous", examples / "homogeneous", {0}},
                            Example{"layered", examples / "layered", {0}},
                            Example{"anisotropic block", stored / "n03_aniso_block" / "input",
                                    {0, 15}}}) {
    SCOPED_TRACE(ex.name);
    sw::test::ScratchDir dir;
    sw::test::copyFiles(ex.input, dir.path());
    sw::test::InputRun in = sw::test::runReadInput();
    ASSERT_EQ(in.outcome.kind, sw::test::Outcome::Kind::Returned) << in.outcome.message;
    sw::RunParams par = in.par;
    par.reduc = 1e-10;
    par.maxiter = par.maxlow = 5000;
    const sw::TabledMaterials tabled(*in.mat);
    sw::FrequencyLoop loop(par, tabled, in.sour, 0, sw::Kernels::lanes, sw::Acceleration::always);

    sw::StripSystem sys(par.nx, par.ny, par.h, false);
    sw::WholeGridMatrix a(par.nx, par.ny);
    std::unique_ptr<sw::MumpsSolver> solver;
    const std::size_t n = static_cast<std::size_t>(a.order());
    std::vector<Cx> b(n), x(n), work(n);
    sw::EdgeFields direct(par.nx, par.ny);
    sw::Accumulators acc(par);

    for (int jw : ex.jw) {
      if (jw == 0) jw = par.jw2;
      SCOPED_TRACE(testing::Message() << "jw " << jw);
      {
        sw::rec::OutFile log;
        log.open(dir.file("iteration_log"));
        loop.solveFrequency(jw, log);
      }
      ASSERT_NE(sw::test::readBytes(dir.file("iteration_log")).find(" convergence  for freq."),
                std::string::npos);

      const double omega = sw::frequencyOfIndex(jw, par.delf) * sw::kTwoPi;
      sw::setWholeGridFrequency(sys, jw, omega, tabled);
      a.assemble(sys);
      if (!solver) solver = std::make_unique<sw::MumpsSolver>(a, sw::kRunOrdering);
      solver->factor(a);
      sw::wholeGridRightHandSide(a.numbering(), par.h,
                                 sw::PointSource{par.kdel, par.jsou, par.ksou, in.sour(jw)},
                                 b.data());
      x = b;
      solver->solve(x.data(), 1);
      EXPECT_LE(sw::relativeResidual(a, x.data(), b.data(), work.data()), 1e-10);
      sw::wholeGridToEdgeFields(a.numbering(), x.data(), direct);
      sw::recordTraces(jw, direct, par, acc);

      RelativeL2 traces, edges;
      const sw::Accumulators& loopAcc = loop.accumulators();
      for (int r = 1; r <= par.nrec; ++r) {
        const std::size_t at = acc.traceIndex(jw, r);
        traces.add(loopAcc.fu1[at], acc.fu1[at]);
        traces.add(loopAcc.fu2[at], acc.fu2[at]);
      }
      const sw::EdgeFields& iterated = loop.fields();
      const auto got = iterated.displacements(), want = direct.displacements();
      for (std::size_t k = 0; k < got.size(); ++k)
        for (int j = 1; j <= par.ny; ++j)
          for (int i = 1; i <= par.nx; ++i) edges.add((*got[k])(i, j), (*want[k])(i, j));
      EXPECT_LE(traces.value(), 1e-6);
      EXPECT_LE(edges.value(), 1e-6);
    }
    EXPECT_EQ(solver->statistics().analyses, 1);
  }
}

}  // namespace

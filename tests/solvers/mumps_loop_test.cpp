// The frequency loop with the direct solver against the strip iteration converged far
// below the usual tolerance, over the whole band of small homogeneous, layered,
// anisotropic and gridded setups: the traces of every frequency, and the residual the log
// gives for each.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "app/frequency_loop.hpp"
#include "input/read_input.hpp"
#include "input/run_files.hpp"
#include "input/tables.hpp"
#include "materials/grid_materials.hpp"
#include "materials/tabled_materials.hpp"
#include "solvers/direct_solver.hpp"
#include "support/files.hpp"
#include "support/input_harness.hpp"
#include "support/model_file.hpp"
#include "support/run.hpp"

namespace sw::test {
namespace {

namespace fs = std::filesystem;

/// A 24 x 20 grid of 5 m elements, the source in the middle, twelve receivers near the
/// top; one region of material 1.
TestDeck smallDeck() {
  TestDeck d;
  d.nx = 24;
  d.ny = 20;
  d.xsize = 120.0;
  d.ysize = 100.0;
  d.xsou = 60.0;
  d.ysou = 50.0;
  d.nrec = 12;
  d.xinic = 5.0;
  d.xfin = 115.0;
  d.yinic = d.yfin = 95.0;
  d.regions = {{0.0, 120.0, 0.0, 100.0, 1}};
  return d;
}

/// Two materials (P and S velocities 3000 / 1700 and 2000 / 1000 with these elements).
const IsoMaterial kRock{Cx{2.25e7, 0.0}, Cx{7.225e6, 0.0}, 2.5};
const IsoMaterial kSoft{Cx{8.0e6, 0.0}, Cx{2.0e6, 0.0}, 2.0};

/// What a setup's input gives the frequency loop.
struct LoopInput {
  RunParams par;
  Materials mat;
  Vec1<Cx> sour = Vec1<Cx>(kMaxFreqs);
  std::unique_ptr<MaterialModel> materials;
};

/// Reads the input in the working directory, with the model file `model` if not empty.
LoopInput readLoopInput(const std::string& model) {
  LoopInput r;
  InputFiles in;
  rec::OutFile log;
  openRunFiles(in, log, model.empty() ? MaterialInput::tables : MaterialInput::modelFile);
  std::optional<GriddedInput> gridded;
  if (!model.empty()) gridded.emplace(GriddedInput{model, {}});
  readInput(in, log, r.par, r.mat, r.sour, {}, gridded ? &*gridded : nullptr);
  if (gridded)
    r.materials = std::make_unique<GridMaterials>(gridded->grid);
  else
    r.materials = std::make_unique<TabledMaterials>(r.mat);
  return r;
}

/// The relative residuals of the log's direct solve lines, in log order.
std::vector<double> loggedResiduals(const std::string& log) {
  static const std::regex line(R"( direct solve  for freq\. # +\d+ relative residual = +(\S+))");
  std::vector<double> r;
  for (auto it = std::sregex_iterator(log.begin(), log.end(), line); it != std::sregex_iterator();
       ++it)
    r.push_back(std::stod((*it)[1].str()));
  return r;
}

/// Runs the band of the input in the working directory twice, with the strip iteration
/// (accelerated, reduc 1e-10) and with the direct solver, and compares the traces.
void expectDirectIsTheConvergedIteration(const std::string& model = {}) {
  LoopInput in = readLoopInput(model);
  RunParams par = in.par;
  par.reduc = 1e-10;
  par.maxiter = par.maxlow = 5000;
  const int nfreq = par.jw2 - par.jw1 + 1;
  ASSERT_GE(nfreq, 3);

  FrequencyLoop strips(par, *in.materials, in.sour, 1, Kernels::lanes, Acceleration::always);
  {
    rec::OutFile log;
    log.open("strips_log");
    strips.run(log);
  }
  const std::vector<LoggedFrequency> passes = loggedFrequencies(readBytes("strips_log"));
  ASSERT_EQ(static_cast<int>(passes.size()), nfreq);
  for (const LoggedFrequency& f : passes) {
    EXPECT_TRUE(f.converged) << "jw " << f.jw;
  }

  DirectSolver solver(StripGrid{par.nx, par.ny, par.h}, *in.materials,
                      DirectSettings{1, 1, kRunOrdering});
  FrequencyLoop direct(par, in.sour, solver, 1);
  {
    rec::OutFile log;
    log.open("direct_log");
    direct.run(log);
  }
  const std::string log = readBytes("direct_log");
  const std::vector<double> residuals = loggedResiduals(log);
  ASSERT_EQ(static_cast<int>(residuals.size()), nfreq) << log;
  for (double r : residuals) EXPECT_LE(r, 1e-10);
  EXPECT_EQ(loggedFrequencies(log).size(), 0u) << "no convergence lines";
  EXPECT_EQ(solver.statistics().analyses, 1);
  EXPECT_EQ(solver.statistics().factorisations, nfreq);

  // Relative L2 of the traces of every frequency, both components.
  const Accumulators& want = strips.accumulators();
  const Accumulators& got = direct.accumulators();
  for (int jw = par.jw1; jw <= par.jw2; ++jw) {
    double diff = 0.0, size = 0.0;
    for (int r = 1; r <= par.nrec; ++r) {
      const std::size_t at = got.traceIndex(jw, r);
      for (const auto& [a, b] : {std::pair{got.fu1[at], want.fu1[at]},
                                 std::pair{got.fu2[at], want.fu2[at]}}) {
        const Cx d = a - b;
        diff += d.re * d.re + d.im * d.im;
        size += b.re * b.re + b.im * b.im;
      }
    }
    ASSERT_GT(size, 0.0) << "jw " << jw;
    EXPECT_LE(std::sqrt(diff / size), 1e-6) << "jw " << jw;
  }
}

TEST(DirectLoop, TracesAreTheConvergedStripIterationsOnEverySetup) {
  {
    SCOPED_TRACE("homogeneous");
    ScratchDir dir;
    writeRun(smallDeck());
    expectDirectIsTheConvergedIteration();
  }
  {
    SCOPED_TRACE("layered");
    ScratchDir dir;
    TestDeck d = smallDeck();
    d.nmat = 3;
    d.regions = {{0.0, 120.0, 0.0, 100.0, 1}, {0.0, 120.0, 0.0, 45.0, 2}};
    writeRun(d);
    writeIsoTables({kRock, kSoft}, tableRecords(d.f4, d.npf));
    expectDirectIsTheConvergedIteration();
  }
  {
    SCOPED_TRACE("anisotropic block");
    ScratchDir dir;
    TestDeck d = smallDeck();
    d.nmat = 3;
    d.regions = {{0.0, 120.0, 0.0, 100.0, 1}, {40.0, 90.0, 20.0, 70.0, 3}};
    writeRun(d);
    expectDirectIsTheConvergedIteration();
  }
  {
    SCOPED_TRACE("gridded model");
    ScratchDir dir;
    TestDeck d = smallDeck();
    d.regions.clear();  // not read with a model file
    d.terminator = false;
    d.write();
    // Velocities growing with depth, a slow lens, a tilted anisotropic and lossy corner.
    PropertyGrid g(d.nx, d.ny);
    g.referenceFrequency = d.freq;
    for (int row = 0; row < d.ny; ++row)
      for (int c = 0; c < d.nx; ++c) {
        const bool lens = row >= 8 && row < 12 && c >= 6 && c < 14;
        g.vp.push_back(lens ? 1800.0 : 2400.0 + 40.0 * row);
        g.vs.push_back(lens ? 900.0 : 1300.0 + 20.0 * row);
        g.rho.push_back(lens ? 1.9 : 2.2 + 0.01 * row);
      }
    g.epsilon.assign(g.elements(), 0.0);
    g.delta.assign(g.elements(), 0.0);
    g.tilt.assign(g.elements(), 0.0);
    g.qp.assign(g.elements(), 1000.0);
    g.qs.assign(g.elements(), 1000.0);
    for (int row = 14; row < d.ny; ++row)
      for (int c = 16; c < d.nx; ++c) {
        const std::size_t k = static_cast<std::size_t>(row * d.nx + c);
        g.epsilon[k] = 0.15;
        g.delta[k] = 0.05;
        g.tilt[k] = 20.0;
        g.qp[k] = 60.0;
        g.qs[k] = 40.0;
      }
    writeModelFile("earth.h5", modelFileOf(g));
    expectDirectIsTheConvergedIteration("earth.h5");
  }
}

}  // namespace
}  // namespace sw::test

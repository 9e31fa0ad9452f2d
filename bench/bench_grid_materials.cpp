// The assembly of one frequency (element coefficients, interface parameters, every strip's
// factorisation) with the coefficients of a property grid beside the same assembly with
// tabled materials painted in regions, in the same iterations so that the load of a shared
// machine falls on both alike.  The grids: elastic in two layers, elastic with a gradient
// (every element its own coefficients, so every element matrix and root is formed anew),
// attenuating with a Q of its own at every element, and attenuating, anisotropic and
// tilted.  Reported: the times of both, their ratio (wall clock and the process's CPU
// time over every thread), the time of the grid's fillMedium alone (on the assembly's
// threads), the bytes the grid model holds and the most its forming took (from the
// datasets as read on, measured by the peak resident size where it can be reset).

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <chrono>
#include <cmath>
#include <ctime>
#include <fstream>
#include <string>
#include <utility>

#include "app/frequency_loop.hpp"
#include "materials/grid_materials.hpp"
#include "model/medium.hpp"
#include "solvers/strip_iteration.hpp"
#include "support/layered_model.hpp"

namespace {

enum Kind { kLayers = 1, kGradient, kAttenuating, kTilted };

/// A grid of the layered model's size in the program's units: two layers, and as the
/// kind says a gradient, a Q that varies from element to element, epsilon and a tilt.
sw::PropertyGrid propertyGrid(int n, Kind kind) {
  sw::PropertyGrid g(n, n);
  g.referenceFrequency = 0.03;
  const std::size_t count = g.elements();
  for (std::size_t k = 0; k < count; ++k) {
    const bool deep = k >= count / 2;
    const double gradient = kind >= kGradient ? 1e-7 * static_cast<double>(k % 600) : 0.0;
    g.vp.push_back((deep ? 4.0 : 2.5) + gradient);
    g.vs.push_back(deep ? 2.2 : 1.35);
    g.rho.push_back(deep ? 2.5 : 2.2);
    if (kind >= kAttenuating) {
      g.qp.push_back(30.0 + 0.37 * static_cast<double>(k % 997));
      g.qs.push_back(15.0 + 0.21 * static_cast<double>(k % 991));
    }
    if (kind == kTilted) {
      g.epsilon.push_back(0.1 + 1e-7 * static_cast<double>(k));
      g.delta.push_back(0.05);
      g.tilt.push_back(45.0 * std::sin(1e-4 * static_cast<double>(k)));
    }
  }
  return g;
}

double processSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

/// A line "<label>: <n> kB" of /proc/self/status in bytes, or -1.
double statusBytes(const std::string& label) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(label + ":", 0) == 0) return 1024.0 * std::stod(line.substr(label.size() + 1));
  return -1.0;
}

/// The grid model of `grid` and the most memory its forming took, the datasets as read
/// included (negative when the peak resident size cannot be reset).
std::pair<sw::GridMaterials, double> formed(sw::PropertyGrid grid) {
  // Large arrays in memory of their own, resident once written and given back when freed.
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
  const double datasets = static_cast<double>(grid.bytes());
  const double before = statusBytes("VmRSS");
  bool reset = false;
  {
    std::ofstream out("/proc/self/clear_refs");
    out << "5";
    out.flush();
    reset = static_cast<bool>(out) && statusBytes("VmHWM") <= before + 1e6;
  }
  sw::GridMaterials model(std::move(grid));
  const double peak = statusBytes("VmHWM");
  return {std::move(model), reset ? peak - before + datasets : -1.0};
}

struct Times {
  double wall = 0.0, cpu = 0.0;
};

/// Times one factorisation of `solver` into `sum`.
void timeFactor(sw::StripIteration& solver, double omega, Times& sum) {
  const auto w0 = std::chrono::steady_clock::now();
  const double c0 = processSeconds();
  solver.factor(1, omega);
  sum.cpu += processSeconds() - c0;
  sum.wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - w0).count();
}

void BM_GridAssembly(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const Kind kind = static_cast<Kind>(state.range(1));
  const int threads = state.range(2) > 0 ? static_cast<int>(state.range(2))
                                         : sw::defaultThreads(n, n);
  sw::test::LayeredModel model(n, n);
  const auto [grid, formedBytes] = formed(propertyGrid(n, kind));
  // The tables in SI units, the grid in the program's (m/ms, g/cm3): omega per s and per ms.
  const double omega = 0.5 * model.par.delw, gridOmega = 1e-3 * omega;
  const sw::StripIterationSettings settings{threads, sw::Kernels::lanes, sw::Acceleration::off,
                                            1};
  const sw::StripGrid size{n, n, model.par.h};
  sw::StripIteration tabledSolver(size, model.tabled, settings);
  sw::StripIteration gridSolver(size, grid, settings);
  Times tabled, gridded;
  for (auto _ : state) {
    timeFactor(tabledSolver, omega, tabled);
    timeFactor(gridSolver, gridOmega, gridded);
  }
  // The medium alone, as the grid's assembly forms it.
  sw::Medium med(n, n);
  constexpr int kFills = 3;
  const auto t0 = std::chrono::steady_clock::now();
  for (int k = 0; k < kFills; ++k) grid.fillMedium(1, gridOmega, med, threads);
  const double fill =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() / kFills;
  benchmark::DoNotOptimize(med.p11(1, 1));
  const double runs = static_cast<double>(state.iterations());
  state.counters["grid_ms"] = 1e3 * gridded.wall / runs;
  state.counters["tables_ms"] = 1e3 * tabled.wall / runs;
  state.counters["ratio"] = gridded.wall / tabled.wall;
  state.counters["cpu_ratio"] = gridded.cpu / tabled.cpu;
  state.counters["fill_ms"] = 1e3 * fill;
  state.counters["model_MB"] = static_cast<double>(grid.bytes()) / 1e6;
  state.counters["formed_MB"] = formedBytes / 1e6;
  state.counters["threads"] = threads;
}

BENCHMARK(BM_GridAssembly)
    // kind: 1 two layers, 2 a gradient, 3 with Q, 4 with Q, epsilon and tilt;
    // threads 0: as the program chooses for the grid
    ->ArgNames({"n", "kind", "threads"})
    ->ArgsProduct({{200, 600}, {kLayers, kGradient, kAttenuating, kTilted}, {0}})
    ->Args({600, kAttenuating, 1})
    ->Args({600, kTilted, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(4);

}  // namespace

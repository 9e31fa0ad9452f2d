/// Benchmarks of the strip kernels: factorisation and solve of one 600-element strip,
/// and the per-frequency set-up (interface parameters, assembly and factorisation of
/// every strip) of a 600 by 600 grid of three materials.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "core/constants.hpp"
#include "strip/assemble_strip.hpp"
#include "strip/band_matrix.hpp"
#include "strip/factor_strip.hpp"
#include "strip/interface_parameters.hpp"
#include "strip/lane_factors.hpp"
#include "strip/solve_strip.hpp"
#include "strip/strip_system.hpp"
#include "support/strip.hpp"

namespace {

using sw::Cx;

constexpr int kN = 600;  // elements per strip and strips per grid
constexpr double kCx = sizeof(Cx);

/// Random diagonally dominant strip matrix with entries inside the element envelope.
sw::BandMatrix randomStrip(int n) {
  sw::test::Random rnd(7);
  return sw::test::randomStrip(n, rnd);
}

/// Envelope entries per strip: 60 per group of six unknowns.
double envelopeEntries(int n) { return 60.0 * n + 4.0; }

void BM_FactorStrip(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const sw::BandMatrix a = randomStrip(n);
  sw::StripFactors f(n, 1);
  for (auto _ : state) {
    sw::factorStrip(1, a, f);
    benchmark::ClobberMemory();
  }
  // Reads every envelope entry of a once and writes every stored factor once.
  const double bytes = 2.0 * envelopeEntries(n) * kCx;
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes) * state.iterations());
  state.counters["bytes_per_call"] = bytes;
  state.counters["unknowns"] = sw::stripUnknowns(n);
}
BENCHMARK(BM_FactorStrip)->Arg(kN)->Unit(benchmark::kMicrosecond);

void BM_SolveStrip(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const int strips = static_cast<int>(state.range(1));
  const sw::BandMatrix a = randomStrip(n);
  sw::StripFactors f(n, strips);
  for (int s = 1; s <= strips; ++s) sw::factorStrip(s, a, f);
  sw::StripWork work(n);
  for (std::size_t i = 1; i < work.rhs.size(); ++i) work.rhs[i] = Cx{1.0, -0.5};
  int s = 0;
  for (auto _ : state) {
    s = s % strips + 1;  // several strips: factors come from memory, as in a sweep
    sw::solveStrip(s, f, work);
    benchmark::DoNotOptimize(work.answer.data());
    benchmark::ClobberMemory();
  }
  // Factors read once; rhs read, y written and read back, answer written.
  const double bytes = (envelopeEntries(n) + 4.0 * sw::stripUnknowns(n)) * kCx;
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes) * state.iterations());
  state.counters["bytes_per_call"] = bytes;
}
BENCHMARK(BM_SolveStrip)->Args({kN, 1})->Args({kN, 600})->Unit(benchmark::kMicrosecond);

/// kLanes strips factored together; time per strip.
void BM_FactorLanes(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const sw::BandMatrix a = randomStrip(n);
  const sw::BandMatrix* lanes[sw::kLanes];
  for (auto& p : lanes) p = &a;
  sw::LaneFactors f(n, 1);
  for (auto _ : state) {
    sw::factorLanes(n, lanes, f.block(0));
    benchmark::ClobberMemory();
  }
  state.counters["lanes"] = sw::kLanes;
  state.counters["time_per_strip"] = benchmark::Counter(
      sw::kLanes, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_FactorLanes)->Arg(kN)->Unit(benchmark::kMicrosecond);

/// kLanes strips solved together, factors from memory when there are many groups; time
/// per strip.
void BM_SolveLanes(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const int groups = static_cast<int>(state.range(1));
  const sw::BandMatrix a = randomStrip(n);
  const sw::BandMatrix* lanes[sw::kLanes];
  for (auto& p : lanes) p = &a;
  sw::LaneFactors f(n, groups);
  for (int g = 0; g < groups; ++g) sw::factorLanes(n, lanes, f.block(g));
  const std::size_t nn = static_cast<std::size_t>(sw::stripUnknowns(n)) + 1;
  const std::vector<sw::LaneCx> rhs(nn, sw::broadcast(Cx{1.0, -0.5}));
  std::vector<sw::LaneCx> x(nn);
  int g = 0;
  for (auto _ : state) {
    g = (g + 1) % groups;
    x = rhs;
    sw::solveLanes(n, f.block(g), x.data());
    benchmark::DoNotOptimize(x.data());
    benchmark::ClobberMemory();
  }
  state.counters["lanes"] = sw::kLanes;
  state.counters["time_per_strip"] = benchmark::Counter(
      sw::kLanes, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_SolveLanes)
    ->Args({kN, 1})
    ->Args({kN, 600 / sw::kLanes})
    ->Unit(benchmark::kMicrosecond);

/// A 600 by 600 grid of three materials: two isotropic layers and an anisotropic
/// block, with the indicators and numbering of a run.
struct Grid600 {
  int nx = kN, ny = kN;
  sw::StripSystem sys{kN, kN, 5.0};
  sw::StripWork work{kN};
  sw::StripFactors f{kN, kN};

  Grid600() {
    sys.omega = sw::kTwoPi * 0.0125;
    sw::Medium& med = sys.med;
    struct Mat {
      double rho;
      Cx p11, p13, p33, p55;
    };
    const Mat upper{2000.0, {1.8e10, 1e8}, {0.9e10, 1e8}, {1.8e10, 1e8}, {4.5e9, 5e7}};
    const Mat lower{2400.0, {3.0e10, 2e8}, {1.4e10, 2e8}, {3.0e10, 2e8}, {8.0e9, 9e7}};
    const Mat block{2200.0, {2.6e10, 1e8}, {1.1e10, 1e8}, {2.0e10, 1e8}, {6.0e9, 6e7}};
    for (int j = 0; j <= ny + 1; ++j)
      for (int i = 0; i <= nx + 1; ++i) {
        const bool inBlock = i > 200 && i <= 400 && j > 250 && j <= 350;
        const Mat& m = inBlock ? block : (j > 300 ? upper : lower);
        med.rho(i, j) = m.rho;
        med.p11(i, j) = m.p11;
        med.p13(i, j) = m.p13;
        med.p33(i, j) = m.p33;
        med.p55(i, j) = m.p55;
      }
  }

  /// Bytes interfaceParameters reads (density, five stiffness arrays) and writes
  /// (twelve interface parameter arrays).
  double interfaceBytes() const { return double(nx) * ny * (sizeof(double) + 17.0 * kCx); }
  /// Bytes all assembleStrip calls touch.  Per element: six coefficients, density, the t and
  /// b betas and roots read, 64 band entries read and written by the scatter.  Per
  /// strip: the band cleared, its envelope read and the factors written by factorStrip.
  double assemblyBytes() const {
    const double perElement = (6.0 + 6.0) * kCx + 7.0 * sizeof(double) + 2.0 * 64.0 * kCx;
    const double perStrip =
        nx * perElement + 15.0 * sw::stripUnknowns(nx) * kCx + 2.0 * envelopeEntries(nx) * kCx;
    return perStrip * ny;
  }
};

/// One grid shared by the grid benchmarks (its factors alone take half a gigabyte).
Grid600& grid600() {
  static Grid600 g;
  return g;
}

void BM_InterfaceParameters600(benchmark::State& state) {
  Grid600& g = grid600();
  for (auto _ : state) {
    sw::interfaceParameters(g.sys.omega, g.sys.med, g.sys.beta, g.sys.roots);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(g.interfaceBytes()) * state.iterations());
  state.counters["bytes_per_call"] = g.interfaceBytes();
}
BENCHMARK(BM_InterfaceParameters600)->Unit(benchmark::kMillisecond);

void BM_AssembleAllStrips600(benchmark::State& state) {
  Grid600& g = grid600();
  sw::interfaceParameters(g.sys.omega, g.sys.med, g.sys.beta, g.sys.roots);
  for (auto _ : state) {
    for (int s = 1; s <= g.ny; ++s) sw::assembleStrip(s, g.sys, g.work, g.f);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(g.assemblyBytes()) * state.iterations());
  state.counters["bytes_per_call"] = g.assemblyBytes();
  state.counters["time_per_strip"] =
      benchmark::Counter(static_cast<double>(g.ny), benchmark::Counter::kIsIterationInvariantRate |
                                                        benchmark::Counter::kInvert);
}
BENCHMARK(BM_AssembleAllStrips600)->Unit(benchmark::kMillisecond);

void BM_InterfaceParametersAndAssembly600(benchmark::State& state) {
  Grid600& g = grid600();
  for (auto _ : state) {
    sw::interfaceParameters(g.sys.omega, g.sys.med, g.sys.beta, g.sys.roots);
    for (int s = 1; s <= g.ny; ++s) sw::assembleStrip(s, g.sys, g.work, g.f);
    benchmark::ClobberMemory();
  }
  const double bytes = g.interfaceBytes() + g.assemblyBytes();
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes) * state.iterations());
  state.counters["bytes_per_call"] = bytes;
}
BENCHMARK(BM_InterfaceParametersAndAssembly600)->Unit(benchmark::kMillisecond);

}  // namespace

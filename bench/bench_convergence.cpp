// Time to convergence of one frequency with and without the accelerated iteration: the
// layered model on a 100 by 100 grid, a 48-frequency band up to 60 Hz, reduc 1e-6 and a
// 3000-pass limit, each frequency started from zero fields.  Arguments: frequency index,
// mixed (1, as --accelerate-all does) or not (0).  Counters: passes, whether the iteration
// converged, time per pass and the accelerated iteration's history and work vectors.

#include <benchmark/benchmark.h>

#include <chrono>

#include "app/frequency_loop.hpp"
#include "core/constants.hpp"
#include "core/frequency.hpp"
#include "records/out_file.hpp"
#include "support/layered_model.hpp"
#include "support/solver_run.hpp"

namespace {

constexpr int kGrid = 100;
constexpr int kFrequencies = 48;

void BM_Convergence(benchmark::State& state) {
  const int jw = static_cast<int>(state.range(0));
  const bool accelerate = state.range(1) != 0;
  sw::test::LayeredModel model(kGrid, kGrid, kFrequencies);
  model.par.maxiter = model.par.maxlow = 3000;
  model.par.reduc = 1e-6;
  sw::SolveOutcome result;
  double seconds = 0.0;
  std::size_t history = 0;
  for (auto _ : state) {
    state.PauseTiming();
    sw::StripIteration loop = sw::test::stripIteration(
        model, sw::defaultThreads(kGrid, kGrid), sw::Kernels::lanes,
        accelerate ? sw::Acceleration::always : sw::Acceleration::off);
    sw::test::factorAt(loop, model, jw);
    state.ResumeTiming();
    const auto t0 = std::chrono::steady_clock::now();
    result = sw::test::solveDeckSource(loop, model, jw);
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    benchmark::DoNotOptimize(loop.fields(0));
    history = loop.accelerationBytes();
  }
  const double runs = static_cast<double>(state.iterations());
  state.counters["passes"] = result.passes;
  state.counters["converged"] = result.converged ? 1 : 0;
  state.counters["pass_ms"] = 1e3 * seconds / (runs * result.passes);
  state.counters["history_MB"] = static_cast<double>(history) / 1e6;
}

BENCHMARK(BM_Convergence)
    ->ArgNames({"jw", "accelerated"})
    ->ArgsProduct({{48, 24, 12, 6, 1}, {0, 1}})
    ->Unit(benchmark::kSecond)
    ->Iterations(1);

}  // namespace

// Time to convergence of one frequency, with and without the accelerated iteration:
// the layered model on a 100 by 100 grid, a 48-frequency band up to 60 Hz, reduc 1e-6
// and a 3000-pass limit, each frequency started from zero fields.  Arguments: frequency
// index, accelerated (1) or not (0).  Counters: passes, whether the iteration converged,
// time per pass and the accelerated iteration's history memory.

#include <benchmark/benchmark.h>

#include <chrono>

#include "driver/frequency_loop.hpp"
#include "records/out_file.hpp"
#include "support/layered_model.hpp"

namespace {

constexpr int kGrid = 100;
constexpr int kFrequencies = 48;

void BM_Convergence(benchmark::State& state) {
  const int jw = static_cast<int>(state.range(0));
  sw::test::LayeredModel model(kGrid, kGrid, kFrequencies);
  model.par.maxiter = model.par.maxlow = 3000;
  model.par.reduc = 1e-6;
  sw::AccelerationSettings accel;
  accel.enabled = state.range(1) != 0;
  sw::FrequencyLoop loop(model.par, model.mat, model.sour, 0, accel);
  sw::rec::OutFile log;
  log.open("/dev/null");
  const sw::EdgeFields zero(kGrid, kGrid);
  loop.assemble(jw, ((jw - 1) + 0.5) * model.par.delf * 6.283185307179586);

  sw::IterationResult result;
  double seconds = 0.0;
  for (auto _ : state) {
    loop.setFields(zero);
    const auto t0 = std::chrono::steady_clock::now();
    result = loop.iterateFrequency(jw, log);
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    benchmark::DoNotOptimize(loop.fields());
  }
  const double runs = static_cast<double>(state.iterations());
  state.counters["passes"] = result.passes;
  state.counters["converged"] = result.converged ? 1 : 0;
  state.counters["pass_ms"] = 1e3 * seconds / (runs * result.passes);
  state.counters["history_MB"] = static_cast<double>(loop.historyBytes()) / 1e6;
}

BENCHMARK(BM_Convergence)
    ->ArgNames({"jw", "accelerated"})
    ->ArgsProduct({{48, 24, 12, 6, 1}, {0, 1}})
    ->Unit(benchmark::kSecond)
    ->Iterations(1);

}  // namespace

// One whole frequency on n by n grids: assembly (coefficients, interface parameters,
// every strip's factorisation) and a fixed number of iteration passes, with the time
// per pass and the peak memory of the process.

#include <benchmark/benchmark.h>
#include <omp.h>
#include <sys/resource.h>

#include <chrono>

#include "app/frequency_loop.hpp"
#include "records/out_file.hpp"
#include "support/layered_model.hpp"

namespace {

constexpr int kPasses = 10;

double peakMegabytes() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return static_cast<double>(ru.ru_maxrss) / 1024.0;
}

void BM_Frequency(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  sw::test::LayeredModel model(n, n);
  model.par.maxiter = model.par.maxlow = kPasses;
  model.par.reduc = 0.0;  // never converges: exactly kPasses passes
  sw::FrequencyLoop loop(model.par, model.mat, model.sour);
  sw::rec::OutFile log;
  log.open("/dev/null");

  double assembly = 0.0, passes = 0.0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    loop.assemble(1, 0.5 * model.par.delw);
    const auto t1 = std::chrono::steady_clock::now();
    loop.iterate(1, log);
    const auto t2 = std::chrono::steady_clock::now();
    assembly += std::chrono::duration<double>(t1 - t0).count();
    passes += std::chrono::duration<double>(t2 - t1).count();
    benchmark::DoNotOptimize(loop.fields());
  }
  const double runs = static_cast<double>(state.iterations());
  state.counters["assembly_ms"] = 1e3 * assembly / runs;
  state.counters["pass_ms"] = 1e3 * passes / (runs * kPasses);
  state.counters["peak_MB"] = peakMegabytes();
  state.counters["threads"] = omp_get_max_threads();
}

BENCHMARK(BM_Frequency)->Arg(200)->Arg(600)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

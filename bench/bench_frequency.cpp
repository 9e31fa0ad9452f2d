// One whole frequency on n by n grids: assembly (coefficients, interface parameters,
// every strip's factorisation) and a fixed number of iteration passes, with the time
// per pass, the peak memory of the process, the bytes a pass moves by our count, the
// bandwidth that implies, the copy and read bandwidths of this machine measured in the
// same process, and the ratio of the implied and copy bandwidths (how close a pass runs
// to the memory bound).  Beside it the compute bound: the same passes on n by 32 strips
// (their factors, fields and terms stay in the caches), scaled to n by n elements.

#include <benchmark/benchmark.h>
#include <omp.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>

#include "app/frequency_loop.hpp"
#include "materials/layered_materials.hpp"
#include "model/matched_layer.hpp"
#include "core/lanes.hpp"
#include "records/out_file.hpp"
#include "support/layered_model.hpp"
#include "support/solver_run.hpp"

namespace {

constexpr int kPasses = 10;

double peakMegabytes() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return static_cast<double>(ru.ru_maxrss) / 1024.0;
}

double cpuSeconds() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
         1e-6 * static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec);
}

/// Bytes per second of a copy of 128 MB on every thread's share (read plus write), best
/// of five.  Measured after the frequency's peak memory has been taken.
double copyBandwidth(int threads) {
  constexpr std::size_t kBytes = std::size_t{128} << 20;
  const std::unique_ptr<char[]> from(new char[kBytes]), to(new char[kBytes]);
  std::memset(from.get(), 1, kBytes);
  std::memset(to.get(), 2, kBytes);
  double best = 1e30;
  for (int rep = 0; rep < 5; ++rep) {
    const auto t0 = std::chrono::steady_clock::now();
#pragma omp parallel num_threads(threads)
    {
      const std::size_t share = kBytes / static_cast<std::size_t>(omp_get_num_threads());
      const std::size_t at = share * static_cast<std::size_t>(omp_get_thread_num());
      std::memcpy(to.get() + at, from.get() + at, share);
    }
    best = std::min(best,
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  benchmark::DoNotOptimize(to.get());
  return 2.0 * static_cast<double>(kBytes) / best;
}

/// Bytes per second of a read of 256 MB shared out between the threads, best of five
/// (no more memory than the copy takes, so that the peaks of later runs stay theirs).
double readBandwidth(int threads) {
  constexpr std::size_t kCount = std::size_t{32} << 20;  // doubles
  const std::unique_ptr<double[]> v(new double[kCount]);
  std::fill(v.get(), v.get() + kCount, 1.0);
  double best = 1e30;
  for (int rep = 0; rep < 5; ++rep) {
    const auto t0 = std::chrono::steady_clock::now();
#pragma omp parallel num_threads(threads)
    {
      const std::size_t share = kCount / static_cast<std::size_t>(omp_get_num_threads());
      const double* p = v.get() + share * static_cast<std::size_t>(omp_get_thread_num());
      sw::Lane sum[4] = {};
      for (std::size_t k = 0; k + 4 * sw::kLanes <= share; k += 4 * sw::kLanes)
        for (int q = 0; q < 4; ++q) {
          sw::Lane x;
          std::memcpy(&x, p + k + static_cast<std::size_t>(q * sw::kLanes), sizeof x);
          sum[q] = sum[q] + x;
        }
      benchmark::DoNotOptimize(sum);
    }
    best = std::min(best,
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  return static_cast<double>(kCount * sizeof(double)) / best;
}

/// Seconds per pass of `passes` passes on an nx by ny grid (after its assembly).
double passSeconds(int nx, int ny, int threads, int passes,
                   sw::Kernels kernels = sw::Kernels::lanes) {
  sw::test::LayeredModel model(nx, ny);
  model.par.maxiter = model.par.maxlow = passes;
  model.par.reduc = 0.0;
  sw::StripIteration loop = sw::test::stripIteration(model, threads, kernels);
  loop.factor(1, 0.5 * model.par.delw);
  sw::test::solveDeckSource(loop, model, 1);  // caches warm
  const auto t0 = std::chrono::steady_clock::now();
  sw::test::solveDeckSource(loop, model, 1);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() / passes;
}

void BM_Frequency(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const auto kernels = state.range(1) != 0 ? sw::Kernels::lanes : sw::Kernels::scalar;
  sw::test::LayeredModel model(n, n);
  model.par.maxiter = model.par.maxlow = kPasses;
  model.par.reduc = 0.0;  // never converges: exactly kPasses passes
  const int threads = sw::defaultThreads(n, n);
  double assembly = 0.0, passes = 0.0, passCpu = 0.0, bytes = 0.0;
  {
    sw::StripIteration loop = sw::test::stripIteration(model, threads, kernels);
    for (auto _ : state) {
      const auto t0 = std::chrono::steady_clock::now();
      loop.factor(1, 0.5 * model.par.delw);
      const auto t1 = std::chrono::steady_clock::now();
      const double c1 = cpuSeconds();
      sw::test::solveDeckSource(loop, model, 1);
      const double c2 = cpuSeconds();
      const auto t2 = std::chrono::steady_clock::now();
      assembly += std::chrono::duration<double>(t1 - t0).count();
      passes += std::chrono::duration<double>(t2 - t1).count();
      passCpu += c2 - c1;
      benchmark::DoNotOptimize(loop.fields(0));
    }
    bytes = loop.bytesPerPass();
  }
  const double runs = static_cast<double>(state.iterations());
  const double pass = passes / (runs * kPasses);
  state.counters["assembly_ms"] = 1e3 * assembly / runs;
  state.counters["pass_ms"] = 1e3 * pass;
  state.counters["pass_cpu_ms"] = 1e3 * passCpu / (runs * kPasses);
  state.counters["peak_MB"] = peakMegabytes();
  state.counters["threads"] = threads;
  state.counters["lanes"] = kernels == sw::Kernels::lanes ? sw::kLanes : 1;
  if (bytes > 0.0) {
    const double copy = copyBandwidth(threads);
    state.counters["pass_MB"] = bytes / 1e6;
    state.counters["pass_GBps"] = bytes / pass / 1e9;
    state.counters["copy_GBps"] = copy / 1e9;
    state.counters["read_GBps"] = readBandwidth(threads) / 1e9;
    state.counters["of_copy"] = bytes / pass / copy;
    constexpr int kCachedStrips = 32;
    const double floor = passSeconds(n, kCachedStrips, threads, 4 * kPasses) * n / kCachedStrips;
    state.counters["floor_ms"] = 1e3 * floor;
  }
}

// Lane kernels first: the scalar runs need more memory and would raise the peak.
BENCHMARK(BM_Frequency)
    ->ArgNames({"n", "lanes"})
    ->Args({200, 1})
    ->Args({600, 1})
    ->Args({200, 0})
    ->Args({600, 0})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

/// Seconds per pass of one frequency of an n by n grid inside a matched layer of
/// `elements` elements (the strip iteration of the extended grid: scalar kernels, GMRES
/// on the carried state), over one full GMRES cycle and the two plain passes around it.
double layerPassSeconds(int n, int elements, int threads, int passes, double& peak) {
  sw::test::LayeredModel model(n, n);
  const sw::MatchedLayer layer{elements, true, n, n};
  const sw::LayeredMaterials stretched(model.tabled, layer, model.par.h);
  sw::StripIteration it(sw::StripGrid{layer.extendedNx(), layer.extendedNy(), model.par.h},
                        stretched,
                        sw::StripIterationSettings{threads, sw::Kernels::scalar,
                                                   sw::Acceleration::krylov});
  model.par.maxiter = model.par.maxlow = passes;
  model.par.reduc = 0.0;
  model.par.jsou += layer.left();
  model.par.ksou += layer.bottom();
  sw::test::factorAt(it, model, 1);
  const auto t0 = std::chrono::steady_clock::now();
  sw::test::solveDeckSource(it, model, 1);
  const double s =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() / passes;
  peak = peakMegabytes();
  return s;
}

/// The time per pass of a 600 by 600 grid inside a layer of 20 elements (640 by 640
/// extended) against the same grid without it, on the lane kernels the established
/// iteration runs and on the scalar ones the layer's runs: the ratios beside that of
/// the element counts, 640^2 / 600^2 = 1.138.
void BM_LayerPass(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const int elements = static_cast<int>(state.range(1));
  const int threads = sw::defaultThreads(n, n);
  // A GMRES cycle of KrylovSettings::restart steps between its two plain passes.
  const int passes = sw::KrylovSettings{}.restart + 2;
  double layer = 0.0, lanes = 0.0, scalar = 0.0, peak = 0.0;
  for (auto _ : state) {
    lanes = passSeconds(n, n, threads, kPasses);
    scalar = passSeconds(n, n, threads, kPasses, sw::Kernels::scalar);
    layer = layerPassSeconds(n, elements, threads, passes, peak);
  }
  const double extended = static_cast<double>(n + 2 * elements);
  state.counters["layer_pass_ms"] = 1e3 * layer;
  state.counters["lanes_pass_ms"] = 1e3 * lanes;
  state.counters["scalar_pass_ms"] = 1e3 * scalar;
  state.counters["elements_ratio"] = extended * extended / (static_cast<double>(n) * n);
  state.counters["of_lanes"] = layer / lanes;
  state.counters["of_scalar"] = layer / scalar;
  state.counters["peak_MB"] = peak;
  state.counters["threads"] = threads;
}

BENCHMARK(BM_LayerPass)
    ->ArgNames({"n", "pml"})
    ->Args({600, 20})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace

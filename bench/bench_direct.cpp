// The direct solve of one frequency of the layered model on n by n grids: analysis (the
// ordering included), numerical factorisation, solve time per right-hand side (one alone
// and sixteen at once), MUMPS's memory estimate before the factorisation and the memory
// it used, the peak of the process, and the factorisation's rate beside the rate of the
// BLAS's complex matrix product measured in the same process (how close the
// factorisation runs to the compute bound of this machine).  Goals: a factorisation in
// at most 1 s, 8 s and 25 s at 200, 400 and 600, and at most 3 GB at 600.
//
// The BLAS threads are OpenMP's (OMP_NUM_THREADS); the counters say how many there were.

#include <benchmark/benchmark.h>
#include <omp.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <complex>
#include <vector>

#include "core/constants.hpp"
#include "core/frequency.hpp"
#include "solvers/mumps_solver.hpp"
#include "solvers/whole_grid.hpp"
#include "support/layered_model.hpp"

extern "C" void zgemm_(const char* ta, const char* tb, const int* m, const int* n, const int* k,
                       const std::complex<double>* alpha, const std::complex<double>* a,
                       const int* lda, const std::complex<double>* b, const int* ldb,
                       const std::complex<double>* beta, std::complex<double>* c, const int* ldc);

namespace {

using sw::Cx;
using Clock = std::chrono::steady_clock;

double peakMegabytes() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return static_cast<double>(ru.ru_maxrss) / 1024.0;
}

double since(Clock::time_point t0) {
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

/// Real floating-point operations per second of a complex product of order 1500 (best of
/// three): 8 real operations per complex multiply-add.
double zgemmRate() {
  static const double rate = [] {
    const int n = 1500;
    std::vector<std::complex<double>> a(static_cast<std::size_t>(n) * n, {1.0, 0.5}),
        b(a.size(), {0.5, -1.0}), c(a.size());
    const std::complex<double> one(1.0, 0.0), zero(0.0, 0.0);
    double best = 1e30;
    for (int rep = 0; rep < 3; ++rep) {
      const auto t0 = Clock::now();
      zgemm_("N", "N", &n, &n, &n, &one, a.data(), &n, b.data(), &n, &zero, c.data(), &n);
      best = std::min(best, since(t0));
    }
    benchmark::DoNotOptimize(c.data());
    return 8.0 * n * static_cast<double>(n) * n / best;
  }();
  return rate;
}

/// Goal for the factorisation at n by n elements, seconds (0: none).
double factorGoal(int n) { return n == 200 ? 1.0 : n == 400 ? 8.0 : n == 600 ? 25.0 : 0.0; }

void BM_DirectFrequency(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const auto ordering = static_cast<sw::Ordering>(state.range(1));
  const double bound = zgemmRate();
  constexpr int kBatch = 16;

  const sw::test::LayeredModel model(n, n, 48);
  const int jw = 48;
  sw::StripSystem sys(n, n, model.par.h, false);
  sw::setWholeGridFrequency(sys, jw, sw::frequencyOfIndex(jw, model.par.delf) * sw::kTwoPi,
                            model.tabled, omp_get_max_threads());
  sw::WholeGridMatrix a(n, n);
  a.assemble(sys, omp_get_max_threads());
  const std::size_t order = static_cast<std::size_t>(a.order());
  std::vector<Cx> b(order * kBatch), x, work(order);
  for (int k = 0; k < kBatch; ++k)
    sw::wholeGridRightHandSide(
        a.numbering(), model.par.h,
        sw::PointSource{1 + k % 3, 1 + (7 * k) % n, 1 + (11 * k) % n, model.sour(jw)},
        &b[k * order]);

  double analysis = 0.0, factor = 0.0, solveOne = 0.0, solveBatch = 0.0, residual = 0.0;
  sw::FactorEstimate estimate;
  sw::SolverStatistics stats;
  for (auto _ : state) {
    auto t0 = Clock::now();
    sw::MumpsSolver solver(a, ordering);
    analysis = since(t0);
    estimate = solver.estimate();
    t0 = Clock::now();
    solver.factor(a);
    factor = since(t0);
    x.assign(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(order));
    t0 = Clock::now();
    solver.solve(x.data(), 1);
    solveOne = since(t0);
    residual = sw::relativeResidual(a, x.data(), b.data(), work.data());
    x = b;
    t0 = Clock::now();
    solver.solve(x.data(), kBatch);
    solveBatch = since(t0) / kBatch;
    stats = solver.statistics();
    state.SetIterationTime(factor);
  }
  state.SetLabel(sw::orderingName(ordering));
  state.counters["threads"] = omp_get_max_threads();
  state.counters["unknowns"] = static_cast<double>(order);
  state.counters["analysis_s"] = analysis;
  state.counters["factor_s"] = factor;
  state.counters["solve_1_s"] = solveOne;
  state.counters["solve_per_rhs_s"] = solveBatch;
  state.counters["estimate_MB"] = estimate.memoryMb;
  state.counters["used_MB"] = stats.factorMemoryMb;
  state.counters["peak_MB"] = peakMegabytes();
  state.counters["factor_entries"] = estimate.factorEntries;
  state.counters["factor_Gops"] = estimate.flops * 1e-9;  // MUMPS's count, load-independent
  // MUMPS counts a complex multiply-add as two operations, a real one's count; a complex
  // one takes eight real operations.
  const double rate = 4.0 * estimate.flops / factor;
  state.counters["factor_GFLOPs"] = rate * 1e-9;
  state.counters["zgemm_GFLOPs"] = bound * 1e-9;
  state.counters["of_bound"] = rate / bound;
  state.counters["residual"] = residual;
  if (factorGoal(n) > 0.0) state.counters["factor_of_goal"] = factor / factorGoal(n);
}

void directArguments(benchmark::internal::Benchmark* b) {
  for (const int n : {200, 400})
    for (const sw::Ordering o : {sw::Ordering::metis, sw::Ordering::amd, sw::Ordering::scotch})
      b->Args({n, static_cast<long>(o)});
  b->Args({600, static_cast<long>(sw::Ordering::metis)});
}
BENCHMARK(BM_DirectFrequency)
    ->Apply(directArguments)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace

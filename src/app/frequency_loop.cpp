#include "app/frequency_loop.hpp"

#include <omp.h>

#include <algorithm>
#include <cstddef>

#include "core/constants.hpp"
#include "core/frequency.hpp"
#include "coupling/relaxation.hpp"
#include "coupling/sweep.hpp"
#include "model/point_source.hpp"
#include "output/accumulate.hpp"
#include "records/layout.hpp"
#include "strip/assemble_strip.hpp"

namespace sw {

FrequencyLoop::FrequencyLoop(const RunParams& par, const Materials& mat, const Vec1<Cx>& sour,
                             int threads, bool accelerate)
    : par_(par),
      mat_(mat),
      sour_(sour),
      sys_(par.nx, par.ny, par.h),
      factors_(par.nx, par.ny),
      work_(static_cast<std::size_t>(threads > 0 ? threads : defaultThreads(par.nx, par.ny)),
            StripWork(par.nx)),
      cur_(par.nx, par.ny),
      prev_(par.nx, par.ny),
      carried_(par.nx, par.ny),
      acc_(par) {
  ctl_.reduc = par.reduc;
  ctl_.threads = static_cast<int>(work_.size());
  if (accelerate)
    accel_ = std::make_unique<AcceleratedIteration>(carried_.size(), AndersonSettings{},
                                                    ctl_.threads);
}

void FrequencyLoop::run(rec::OutFile& log, ProgressReport* progress) {
  static const rec::Layout kBand("(/1x,' jw1 , jw2  in main = ',i5,4x,i5)");
  log.write(kBand, {par_.jw1, par_.jw2});
  // Flushing changes no byte of the log; it lets the file on disk follow the run.
  log.flush();
  if (progress != nullptr)
    ctl_.onPass = [progress](int passes, double relerr) { progress->pass(passes, relerr); };
  for (int jw = par_.jw2; jw >= par_.jw1; --jw) {
    if (progress != nullptr) progress->startFrequency(jw, frequencyOfIndex(jw, par_.delf));
    const IterationResult r = solveFrequency(jw, log);
    log.flush();
    if (progress != nullptr) progress->endFrequency(r.passes, ctl_.relerr, r.converged);
  }
  ctl_.onPass = nullptr;
}

IterationResult FrequencyLoop::solveFrequency(int jw, rec::OutFile& log) {
  static const rec::Layout kFrequency("(/1x,' frequency number ',i5,' frequency : ',e20.8)");
  static const rec::Layout kSource("(1x,'jw  real sour, imag sour =',i7,2x,e15.5,2x,e15.5)");
  const double freqjw = frequencyOfIndex(jw, par_.delf);
  const Cx s = sour_(jw);
  log.write(kFrequency, {jw, freqjw});
  log.write(kSource, {jw, s.re, s.im});

  // The angular frequency of the strips is 2 pi times the frequency; the one of the
  // accumulation is (jw - 1/2) delw.  Both orders are kept: they differ in the last bit.
  assemble(jw, freqjw * kTwoPi);
  const IterationResult r = iterate(jw, log);
  accumulate(jw);
  return r;
}

void FrequencyLoop::assemble(int jw, double omega) {
  sys_.setFrequency(jw, omega, mat_);
  // Each strip writes only its own column of the factors.
  const int threads = static_cast<int>(work_.size());
#pragma omp parallel for schedule(static) num_threads(threads)
  for (int k = 1; k <= sys_.ny; ++k)
    assembleStrip(k, sys_, work_[static_cast<std::size_t>(omp_get_thread_num())], factors_);
}

IterationResult FrequencyLoop::iterate(int jw, rec::OutFile& log) {
  ctl_.maxit = jw <= par_.jwlow ? par_.maxlow : par_.maxiter;
  const PointSource src{par_.kdel, par_.jsou, par_.ksou, sour_(jw)};
  const auto sweep = [&] { sweepStrips(sys_, factors_, src, cur_, work_); };
  if (!accel_) return iterateFrequency(jw, ctl_, cur_, prev_, sweep, log);
  const Pass pass = [&](bool measure) {
    savePreviousIterate(cur_, prev_, ctl_.threads);
    sweep();
    relax(cur_, prev_, ctl_.threads);
    return measure ? measureChange(cur_, prev_, ctl_.terms, ctl_.threads) : Change{};
  };
  const CarriedAccess state{
      carried_.size(),
      [&](Cx* x) { carried_.extract(cur_, sys_.beta, x, ctl_.threads); },
      [&](const Cx* x) { carried_.insert(x, sys_.beta, cur_, ctl_.threads); }};
  return accel_->iterate(jw, ctl_, pass, state, log);
}

void FrequencyLoop::accumulate(int jw) {
  addToSnapshots(jw, cur_, par_, acc_, ctl_.threads);
  recordTraces(jw, cur_, par_, acc_);
  if (!firstNonFinite_ && !fieldsFinite(cur_)) firstNonFinite_ = jw;
}

int defaultThreads(int nx, int ny) {
  constexpr long kParallelElements = 4096;
  if (static_cast<long>(nx) * static_cast<long>(ny) < kParallelElements) return 1;
  return std::max(omp_get_max_threads(), 1);
}

bool fieldsFinite(const EdgeFields& f) {
  for (const Grid<Cx>* g : f.displacements())
    for (int j = 1; j <= f.ny(); ++j)
      for (int i = 1; i <= f.nx(); ++i)
        if (!isfinite((*g)(i, j))) return false;
  return true;
}

}  // namespace sw

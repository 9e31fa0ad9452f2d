#include "app/frequency_loop.hpp"

#include <omp.h>

#include <algorithm>
#include <string>

#include "core/constants.hpp"
#include "core/frequency.hpp"
#include "core/interrupt.hpp"
#include "model/point_source.hpp"
#include "output/accumulate.hpp"
#include "records/layout.hpp"

namespace sw {

namespace {

int resolvedThreads(int threads, const RunParams& par) {
  return threads > 0 ? threads : defaultThreads(par.nx, par.ny);
}

/// What the log and the progress report show of the passes: the "global error" line
/// every 100 passes.
class PassLog final : public SolveObserver {
 public:
  PassLog(rec::OutFile& log, ProgressReport* progress) : log_(log), progress_(progress) {}
  void pass(int /*shot*/, int iter, double relerr, double errden) override {
    static const rec::Layout kGlobalError(
        "(/1x,' global error = ',e20.7, 'iteration number = ',i5,    ' denomin. = ',e20.7)");
    if (progress_ != nullptr) progress_->pass(iter, relerr);
    if (iter % 100 == 0) log_.write(kGlobalError, {relerr, iter, errden});
  }

 private:
  rec::OutFile& log_;
  ProgressReport* progress_;
};

}  // namespace

FrequencyLoop::FrequencyLoop(const RunParams& par, const MaterialModel& materials,
                             const Vec1<Cx>& sour, int threads, Kernels kernels,
                             Acceleration acceleration)
    : par_(par),
      sour_(sour),
      threads_(resolvedThreads(threads, par)),
      own_(std::make_unique<StripIteration>(
          StripGrid{par.nx, par.ny, par.h}, materials,
          StripIterationSettings{threads_, kernels, acceleration, 1})),
      solver_(*own_),
      acc_(par) {}

FrequencyLoop::FrequencyLoop(const RunParams& par, const Vec1<Cx>& sour, FrequencySolver& solver,
                             int threads)
    : par_(par), sour_(sour), threads_(resolvedThreads(threads, par)), solver_(solver), acc_(par) {}

void FrequencyLoop::run(rec::OutFile& log, ProgressReport* progress) {
  static const rec::Layout kBand("(/1x,' jw1 , jw2  in main = ',i5,4x,i5)");
  log.write(kBand, {par_.jw1, par_.jw2});
  // Flushing changes no byte of the log; it lets the file on disk follow the run.
  log.flush();
  for (int jw = par_.jw2; jw >= par_.jw1; --jw) {
    if (progress != nullptr) progress->startFrequency(jw, frequencyOfIndex(jw, par_.delf));
    const SolveOutcome r = solveFrequency(jw, log, progress);
    log.flush();  // the log shows how far the run got
    if (progress != nullptr) progress->endFrequency(r.passes, r.relerr, r.converged);
  }
}

SolveOutcome FrequencyLoop::solveFrequency(int jw, rec::OutFile& log, ProgressReport* progress) {
  static const rec::Layout kFrequency("(/1x,' frequency number ',i5,' frequency : ',e20.8)");
  static const rec::Layout kSource("(1x,'jw  real sour, imag sour =',i7,2x,e15.5,2x,e15.5)");
  const double freqjw = frequencyOfIndex(jw, par_.delf);
  const Cx s = sour_(jw);
  log.write(kFrequency, {jw, freqjw});
  log.write(kSource, {jw, s.re, s.im});
  if (interruptSignal() != 0)
    stopIfInterrupted("at frequency number " + std::to_string(jw) + ", before its first pass");

  // The angular frequency of the strips is 2 pi times the frequency; the one of the
  // accumulation is (jw - 1/2) delw.  Both orders are kept: they differ in the last bit.
  solver_.factor(jw, freqjw * kTwoPi);
  const PointSource src{par_.kdel, par_.jsou, par_.ksou, s};
  const IterationLimits limits{jw <= par_.jwlow ? par_.maxlow : par_.maxiter, par_.reduc};
  PassLog passes(log, progress);
  SolveOutcome outcome;
  solver_.solve(jw, std::span<const PointSource>(&src, 1), limits, passes,
                std::span<SolveOutcome>(&outcome, 1));
  logOutcome(jw, outcome, log);

  const EdgeFields& f = solver_.fields(0);
  addToSnapshots(jw, f, par_, acc_, threads_);
  recordTraces(jw, f, par_, acc_);
  if (!firstNonFinite_ && !fieldsFinite(f)) firstNonFinite_ = jw;
  return outcome;
}

void logOutcome(int jw, const SolveOutcome& outcome, rec::OutFile& log) {
  static const rec::Layout kConverged(
      "(/1x,' convergence  for freq. # ',i5,                                  ' achieved in "
      "',i5,' inner iterations ',/,                        ' relative error value = ',e20.8/)");
  static const rec::Layout kNotConverged(
      "(/1x,' NO convergence  for freq. # ',i5,                               ' after  ',i5,' "
      "inner iterations ',/,                             ' relative error value reduction = "
      "',e20.8/)");
  static const rec::Layout kDirect(
      "(/1x,' direct solve  for freq. # ',i5,' relative residual = ',e20.8/)");
  if (outcome.residual) {
    log.write(kDirect, {jw, *outcome.residual});
    return;
  }
  log.write(outcome.converged ? kConverged : kNotConverged,
            {jw, outcome.passes, outcome.relerr});
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

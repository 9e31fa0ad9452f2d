#include "app/frequency_loop.hpp"

#include <omp.h>

#include <algorithm>
#include <string>
#include <utility>

#include "core/check.hpp"
#include "core/constants.hpp"
#include "core/frequency.hpp"
#include "core/interrupt.hpp"
#include "model/point_source.hpp"
#include "output/accumulate.hpp"
#include "records/layout.hpp"

namespace sw {

namespace {

/// One accumulation per shot, each made in place (no copy of the sums is ever held).
std::vector<Accumulators> accumulatorsOfShots(const RunParams& par, std::size_t shots) {
  std::vector<Accumulators> acc;
  acc.reserve(shots);
  for (std::size_t k = 0; k < shots; ++k) acc.emplace_back(par);
  return acc;
}

int resolvedThreads(int threads, const RunParams& par) {
  return threads > 0 ? threads : defaultThreads(par.nx, par.ny);
}

/// What the log and the progress report show of the passes: the "global error" line
/// every 100 passes.
class PassLog final : public SolveObserver {
 public:
  PassLog(std::span<rec::OutFile* const> logs, ProgressReport* progress)
      : logs_(logs), progress_(progress) {}
  void pass(int shot, int iter, double relerr, double errden) override {
    static const rec::Layout kGlobalError(
        "(/1x,' global error = ',e20.7, 'iteration number = ',i5,    ' denomin. = ',e20.7)");
    if (progress_ != nullptr) progress_->pass(iter, relerr);
    if (iter % 100 == 0) logs_[shot]->write(kGlobalError, {relerr, iter, errden});
  }

 private:
  std::span<rec::OutFile* const> logs_;
  ProgressReport* progress_;
};

}  // namespace

FrequencyLoop::FrequencyLoop(const RunParams& par, const MaterialModel& materials,
                             const Vec1<Cx>& sour, int threads, Kernels kernels,
                             Acceleration acceleration, std::vector<ShotSource> shots)
    : par_(par),
      sour_(sour),
      threads_(resolvedThreads(threads, par)),
      shots_(shotSources(par, std::move(shots))),
      own_(std::make_unique<StripIteration>(
          StripGrid{par.nx, par.ny, par.h, par.freeSurface}, materials,
          StripIterationSettings{threads_, kernels, acceleration,
                                 static_cast<int>(shots_.size()), par.damping})),
      solver_(*own_),
      acc_(accumulatorsOfShots(par, shots_.size())),
      firstNonFinite_(shots_.size()),
      sources_(shots_.size()),
      outcomes_(shots_.size()) {}

FrequencyLoop::FrequencyLoop(const RunParams& par, const Vec1<Cx>& sour, FrequencySolver& solver,
                             int threads, std::vector<ShotSource> shots)
    : par_(par),
      sour_(sour),
      threads_(resolvedThreads(threads, par)),
      shots_(shotSources(par, std::move(shots))),
      solver_(solver),
      acc_(accumulatorsOfShots(par, shots_.size())),
      firstNonFinite_(shots_.size()),
      sources_(shots_.size()),
      outcomes_(shots_.size()) {
  SW_CHECK(solver.shots() == static_cast<int>(shots_.size()),
           "the solver is made for the loop's shots");
}

std::vector<ShotSource> shotSources(const RunParams& par, std::vector<ShotSource> shots) {
  if (shots.empty()) shots.push_back(ShotSource{par.kdel, par.jsou, par.ksou});
  return shots;
}

void FrequencyLoop::run(rec::OutFile& log, ProgressReport* progress, const FrequencyDone& done) {
  rec::OutFile* const logs[1] = {&log};
  run(std::span<rec::OutFile* const>(logs), progress, done);
}

void FrequencyLoop::run(std::span<rec::OutFile* const> logs, ProgressReport* progress,
                        const FrequencyDone& done) {
  static const rec::Layout kBand("(/1x,' jw1 , jw2  in main = ',i5,4x,i5)");
  SW_CHECK(logs.size() == shots_.size(), "one log per shot");
  if (finished_.last == 0) {
    finished_.logs.assign(shots_.size(), std::string());
    finished_.firstNonFinite.assign(shots_.size(), std::nullopt);
  }
  // The records of the frequencies are kept as they are written, until the loop ends.
  struct CopiesOfRecords {
    std::span<rec::OutFile* const> logs;
    ~CopiesOfRecords() {
      for (rec::OutFile* log : logs) log->copyRecordsTo(nullptr);
    }
  } copies{logs};
  for (std::size_t k = 0; k < logs.size(); ++k) {
    logs[k]->write(kBand, {par_.jw1, par_.jw2});
    if (finished_.last != 0) logs[k]->writeText(finished_.logs[k]);
    // Flushing changes no byte of the log; it lets the file on disk follow the run.
    logs[k]->flush();
    logs[k]->copyRecordsTo(&finished_.logs[k]);
  }
  const int first = finished_.last != 0 ? finished_.last - 1 : par_.jw2;
  for (int jw = first; jw >= par_.jw1; --jw) {
    const double freq = frequencyOfIndex(jw, par_.delf);
    if (progress != nullptr) progress->startFrequency(jw, freq);
    const SolveOutcome r = solveFrequency(jw, logs, progress);
    for (rec::OutFile* log : logs) log->flush();  // the log shows how far the run got
    finished_.last = jw;
    finished_.outcomes.push_back(
        FrequencyOutcome{jw, freq, r.passes, r.relerr, r.converged, r.residual});
    finished_.firstNonFinite = firstNonFinite_;
    if (progress != nullptr) progress->endFrequency(r.passes, r.relerr, r.converged, r.residual);
    if (done) done(jw);
  }
}

void FrequencyLoop::resume(FinishedFrequencies done) {
  SW_CHECK(done.logs.size() == shots_.size() && done.firstNonFinite.size() == shots_.size(),
           "a log and a first non-finite frequency per shot");
  finished_ = std::move(done);
  firstNonFinite_ = finished_.firstNonFinite;
}

SolveOutcome FrequencyLoop::solveFrequency(int jw, rec::OutFile& log, ProgressReport* progress) {
  rec::OutFile* const logs[1] = {&log};
  return solveFrequency(jw, std::span<rec::OutFile* const>(logs), progress);
}

SolveOutcome FrequencyLoop::solveFrequency(int jw, std::span<rec::OutFile* const> logs,
                                           ProgressReport* progress) {
  static const rec::Layout kFrequency("(/1x,' frequency number ',i5,' frequency : ',e20.8)");
  static const rec::Layout kSource("(1x,'jw  real sour, imag sour =',i7,2x,e15.5,2x,e15.5)");
  const double freqjw = frequencyOfIndex(jw, par_.delf);
  const Cx s = sour_(jw);
  for (rec::OutFile* log : logs) {
    log->write(kFrequency, {jw, freqjw});
    log->write(kSource, {jw, s.re, s.im});
  }
  if (interruptSignal() != 0)
    stopIfInterrupted("at frequency number " + std::to_string(jw) + ", before its first pass");

  PassLog passes(logs, progress);
  std::fill(outcomes_.begin(), outcomes_.end(), SolveOutcome{});
  const bool here = remote_ == nullptr || remote_->owner(jw) == 0;
  if (here) {
    if (remote_ != nullptr) {
      // Only the frequency before, solved here, gives its warm start.
      if (lastLocal_ == 0) {
        StateWriter out(firstCarried_);
        solver_.saveCarried(out);
      } else if (lastLocal_ != jw + 1) {
        StateReader in(firstCarried_);
        solver_.restoreCarried(in);
      }
      lastLocal_ = jw;
    }
    // The angular frequency of the strips is 2 pi times the frequency; the one of the
    // accumulation is (jw - 1/2) delw.  Both orders are kept: they differ in the last bit.
    solver_.factor(jw, freqjw * kTwoPi);
    for (std::size_t k = 0; k < shots_.size(); ++k)
      sources_[k] = PointSource{shots_[k].kdel, shots_[k].jsou, shots_[k].ksou, s};
    const IterationLimits limits{jw <= par_.jwlow ? par_.maxlow : par_.maxiter, par_.reduc};
    solver_.solve(jw, sources_, limits, passes, outcomes_);
  } else {
    remote_->receive(jw, outcomes_, passes_, received_);
    for (const PassRecord& p : passes_) passes.pass(p.shot, p.iter, p.relerr, p.errden);
  }

  SolveOutcome shown = outcomes_[0];
  for (std::size_t k = 0; k < shots_.size(); ++k) {
    const SolveOutcome& o = outcomes_[k];
    logOutcome(jw, o, *logs[k]);
    const EdgeFields& f = here ? solver_.fields(static_cast<int>(k)) : received_[k];
    addToSnapshots(jw, f, par_, acc_[k], threads_);
    recordTraces(jw, f, par_, acc_[k]);
    if (!firstNonFinite_[k] && !fieldsFinite(f)) firstNonFinite_[k] = jw;
    if (k == 0) continue;
    shown.converged = shown.converged && o.converged;
    shown.passes = std::max(shown.passes, o.passes);
    if (!(o.relerr <= shown.relerr)) shown.relerr = o.relerr;
    if (o.residual && (!shown.residual || !(*o.residual <= *shown.residual)))
      shown.residual = o.residual;
  }
  return shown;
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

#include "app/frequency_loop.hpp"

#include <omp.h>

#include <algorithm>
#include <cstddef>
#include <string>

#include "core/check.hpp"
#include "core/constants.hpp"
#include "core/frequency.hpp"
#include "core/interrupt.hpp"
#include "coupling/relaxation.hpp"
#include "coupling/sweep.hpp"
#include "model/point_source.hpp"
#include "output/accumulate.hpp"
#include "records/layout.hpp"
#include "strip/assemble_strip.hpp"

namespace sw {

FrequencyLoop::FrequencyLoop(const RunParams& par, const MaterialModel& materials, const Vec1<Cx>& sour,
                             int threads, Kernels kernels, Acceleration acceleration)
    : par_(par),
      mat_(materials),
      sour_(sour),
      kernels_(kernels),
      threads_(threads > 0 ? threads : defaultThreads(par.nx, par.ny)),
      sys_(par.nx, par.ny, par.h, kernels == Kernels::scalar),
      carried_(par.nx, par.ny),
      acc_(par) {
  ctl_.reduc = par.reduc;
  ctl_.threads = threads_;
  const int nx = par.nx, ny = par.ny;
  const std::size_t t = static_cast<std::size_t>(threads_);
  if (kernels_ == Kernels::scalar) {
    factors_ = StripFactors(nx, ny);
    work_.assign(t, StripWork(nx));
    cur_ = EdgeFields(nx, ny);
    prev_ = EdgeFields(nx, ny);
  } else {
    groups_ = StripGroups(ny);
    laneFactors_ = LaneFactors(nx, groups_.count[0] + groups_.count[1]);
    laneBeta_ = LaneBetas(nx, ny);
    laneCur_ = LaneFields(nx, ny);
    lanePass_ = LanePass(nx, ny, threads_);
    bands_.assign(t, std::vector<BandMatrix>(static_cast<std::size_t>(kLanes), BandMatrix(nx)));
  }
  if (acceleration != Acceleration::off)
    accel_ = std::make_unique<AcceleratedIteration>(carried_.size(), AndersonSettings{}, threads_,
                                                    acceleration);
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
    log.flush();  // the log shows how far the run got
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
  if (interruptSignal() != 0)
    stopIfInterrupted("at frequency number " + std::to_string(jw) + ", before its first pass");

  // The angular frequency of the strips is 2 pi times the frequency; the one of the
  // accumulation is (jw - 1/2) delw.  Both orders are kept: they differ in the last bit.
  assemble(jw, freqjw * kTwoPi);
  const IterationResult r = iterate(jw, log);
  accumulate(jw);
  return r;
}

void FrequencyLoop::assemble(int jw, double omega) {
  if (kernels_ == Kernels::lanes) {
    sys_.setMedium(jw, omega, mat_);
    return assembleLanes();
  }
  sys_.setFrequency(jw, omega, mat_, threads_);
  // Each strip writes only its own column of the factors.
#pragma omp parallel for schedule(static) num_threads(threads_)
  for (int k = 1; k <= sys_.ny; ++k)
    assembleStrip(k, sys_, work_[static_cast<std::size_t>(omp_get_thread_num())], factors_);
}

void FrequencyLoop::keepVerticalParameters() {
  laneBeta_.begin(true);
  interfaceParameters(sys_.omega, sys_.med, laneBeta_, sys_.roots, threads_);
}

void FrequencyLoop::assembleLanes() {
  laneBeta_.begin(laneCur_.keepsVertical());
  interfaceParameters(sys_.omega, sys_.med, laneBeta_, sys_.roots, threads_);
  // The vertical multipliers are kept while they may differ from +0.
  if (!laneBeta_.verticalClean() && !laneCur_.keepsVertical()) {
    laneCur_.keepVertical();
    keepVerticalParameters();
  } else if (laneBeta_.verticalClean()) {
    laneCur_.dropVerticalIfZero();
  }

  const int groups = groups_.count[0] + groups_.count[1];
  // Each group of strips writes only its own block of the factors.
#pragma omp parallel num_threads(threads_)
  {
    std::vector<BandMatrix>& bands = bands_[static_cast<std::size_t>(omp_get_thread_num())];
    StripEdgeParameters beta;
#pragma omp for schedule(dynamic)
    for (int fg = 0; fg < groups; ++fg) {
      const int p = fg < groups_.count[0] ? 0 : 1;
      const int g = p == 0 ? fg : fg - groups_.count[0];
      const BandMatrix* lanes[kLanes];
      for (int l = 0; l < kLanes; ++l) {
        const int s = StripGroups::strip(p, g, l);
        if (s <= sys_.ny) {
          laneBeta_.stripParameters(s, beta);
          assembleStripMatrix(s, sys_, beta, bands[static_cast<std::size_t>(l)]);
          lanes[l] = &bands[static_cast<std::size_t>(l)];
        } else {
          lanes[l] = lanes[0];  // beyond the grid: any strip will do, its results are dropped
        }
      }
      factorLanes(sys_.nx, lanes, laneFactors_.block(fg));
    }
  }
}

LaneSystem FrequencyLoop::laneSystem(int jw) const {
  LaneSystem ls;
  ls.factors = &laneFactors_;
  ls.beta = &laneBeta_;
  ls.del = &sys_.del;
  ls.h = sys_.h;
  ls.src = PointSource{par_.kdel, par_.jsou, par_.ksou, jw >= 1 ? sour_(jw) : Cx{}};
  return ls;
}

IterationResult FrequencyLoop::iterate(int jw, rec::OutFile& log) {
  ctl_.maxit = jw <= par_.jwlow ? par_.maxlow : par_.maxiter;
  if (kernels_ == Kernels::lanes) return iterateLanes(jw, log);
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
      carried_.size(), [&](Cx* x) { carried_.extract(cur_, sys_.beta, x, ctl_.threads); },
      [&](const Cx* x) { carried_.insert(x, sys_.beta, cur_, ctl_.threads); }};
  return accel_->iterate(jw, ctl_, pass, state, log);
}

IterationResult FrequencyLoop::iterateLanes(int jw, rec::OutFile& log) {
  exported_ = false;
  const LaneSystem ls = laneSystem(jw);
  lanePass_.begin();
  // A mixed frequency alters the fields after most passes: its passes do not make the odd
  // phase of the next pass ahead.  Nor does the last pass the limit allows.
  const bool mixed = accel_ && accel_->mixesNext();
  int made = 0;
  const Pass pass = [&](bool measure) {
    const bool ahead = !mixed && ++made < ctl_.maxit;
    switch (lanePass_.run(laneCur_, ls, measure, ahead)) {
      case LanePassResult::done:
        break;
      case LanePassResult::again: {
        laneCur_.keepVertical();
        keepVerticalParameters();
        const LanePassResult again = lanePass_.run(laneCur_, ls, measure, ahead);
        SW_CHECK(again == LanePassResult::done, "a pass keeping every multiplier completes");
        break;
      }
      case LanePassResult::finishVertical:
        keepVerticalParameters();
        lanePass_.finishVertical(laneCur_, laneBeta_);
        break;
    }
    return measure ? Change{lanePass_.sums().errnum, lanePass_.sums().errden} : Change{};
  };
  if (!accel_) return iteratePasses(jw, ctl_, pass, log);
  // The carried state leaves out the vertical multipliers inside the strips, which stay +0
  // while the fields are finite (when kept, the fields have not been).
  const CarriedAccess state{carried_.size(),
                            [&](Cx* x) { carried_.extract(laneCur_, laneBeta_, x, threads_); },
                            [&](const Cx* x) {
                              carried_.insert(x, laneBeta_, laneCur_, threads_);
                              lanePass_.begin();
                            }};
  return accel_->iterate(jw, ctl_, pass, state, log);
}

const EdgeFields& FrequencyLoop::fields() {
  if (kernels_ == Kernels::lanes && !exported_) {
    if (cur_.nx() != par_.nx) cur_ = EdgeFields(par_.nx, par_.ny);
    laneCur_.exportTo(cur_);
    exported_ = true;
  }
  return cur_;
}

double FrequencyLoop::bytesPerPass() const {
  return kernels_ == Kernels::lanes ? lanePass_.bytesPerPass(laneSystem(0)) : 0.0;
}

void FrequencyLoop::accumulate(int jw) {
  if (kernels_ == Kernels::lanes) {
    addToSnapshots(jw, laneCur_, par_, acc_, ctl_.threads);
    recordTraces(jw, laneCur_, par_, acc_);
    if (!firstNonFinite_ && !fieldsFinite(laneCur_)) firstNonFinite_ = jw;
    return;
  }
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

bool fieldsFinite(const LaneFields& f) {
  for (int s = 1; s <= f.groups().ny; ++s) {
    const LaneFields::StripView v = f.strip(s);
    for (int i = 1; i <= f.nx(); ++i)
      for (int c = 1; c <= 2; ++c) {
        const EdgeValues e = v.edges(c, i);
        if (!isfinite(e.l) || !isfinite(e.t) || !isfinite(e.b) || !isfinite(e.r)) return false;
      }
  }
  return true;
}

}  // namespace sw

#include "driver/frequency_loop.hpp"

#include <omp.h>

#include <algorithm>

#include "input/readata.hpp"
#include "iteration/solv1it.hpp"
#include "iteration/uplag.hpp"
#include "output/accumulate.hpp"
#include "records/layout.hpp"
#include "strip/coeflu.hpp"
#include "strip/inbeta.hpp"

namespace sw {

FrequencyLoop::FrequencyLoop(const RunParams& par, const Materials& mat, const Vec1<Cx>& sour,
                             int threads, const AccelerationSettings& accel)
    : par_(par),
      mat_(mat),
      src_{par.kdel, par.jsou, par.ksou, &sour},
      dofmap_(par.nx),
      del_(par.nx, par.ny),
      med_(par.nx, par.ny),
      beta_(par.nx, par.ny),
      roots_(par.nx, par.ny),
      factors_(par.nx, par.ny),
      work_(static_cast<std::size_t>(threads > 0 ? threads : defaultThreads(par.nx, par.ny)),
            StripWork(par.nx)),
      cur_(par.nx, par.ny),
      prev_(par.nx, par.ny),
      acc_(par.nx, par.ny, std::max(par.nsnapt, 0), std::max(par.jw2, 0), std::max(par.nrec, 0)),
      accel_(accel),
      state_(par.nx, par.ny) {
  ctl_.reduc = par.reduc;
  ctl_.threads = static_cast<int>(work_.size());
  setdelta(par.nx, par.ny, del_);
  finishAt_ = accel_.finishAt;
  if (accel_.enabled && state_.size() > 0) {
    if (accel_.gmres)
      krylov_.emplace(state_.size(), accel_.gmresRestart, ctl_.threads);
    else
      mixer_.emplace(state_.size(), accel_.anderson, ctl_.threads);
    g_.resize(state_.size());
    tg_.resize(state_.size());
  }
}

void FrequencyLoop::run(rec::OutFile& log) {
  static const rec::Layout kBand("(/1x,' jw1 , jw2  in main = ',i5,4x,i5)");
  log.write(kBand, {par_.jw1, par_.jw2});
  for (int jw = par_.jw2; jw >= par_.jw1; --jw) solveFrequency(jw, log);
}

void FrequencyLoop::solveFrequency(int jw, rec::OutFile& log) {
  static const rec::Layout kFrequency("(/1x,' frequency number ',i5,' frequency : ',e20.8)");
  static const rec::Layout kSource("(1x,'jw  real sour, imag sour =',i7,2x,e15.5,2x,e15.5)");
  // The index is converted to floating point before the subtraction.
  const double freqjw = (static_cast<double>(jw - 1) + 0.5) * par_.delf;
  const Cx s = (*src_.sour)(jw);
  log.write(kFrequency, {jw, freqjw});
  log.write(kSource, {jw, s.re, s.im});

  assemble(jw, freqjw * 6.283185307179586);
  iterateFrequency(jw, log);
  accumulate(jw);
}

void FrequencyLoop::assemble(int jw, double omega) {
  const int nx = par_.nx, ny = par_.ny;
  jw_ = jw;
  fillMedium(jw, mat_, med_);
  inbeta(nx, ny, omega, med_, beta_, roots_);
  // Each strip writes only its own column of the factors.
  const int threads = static_cast<int>(work_.size());
#pragma omp parallel for schedule(static) num_threads(threads)
  for (int k = 1; k <= ny; ++k)
    coeflu(k, nx, omega, med_, beta_, par_.h, del_, roots_, dofmap_,
           work_[static_cast<std::size_t>(omp_get_thread_num())], factors_);
}

IterationResult FrequencyLoop::iterateFrequency(int jw, rec::OutFile& log) {
  jw_ = jw;
  ctl_.maxit = jw <= par_.jwlow ? par_.maxlow : par_.maxiter;
  if (mixer_) return iterateAccelerated(jw, log);
  if (krylov_) return iterateGmres(jw, log);
  return iterate(
      jw, ctl_, cur_, prev_, par_.nx, par_.ny, [this] { sweep(); }, log);
}

void FrequencyLoop::accumulate(int jw) {
  const int nx = par_.nx, ny = par_.ny;
  finvpic2(jw, nx, ny, cur_, acc_, par_.nsnapt, par_.itsnap, par_.dt, par_.delw, ctl_.threads);
  savtrace(par_.nrec, jw, par_.delw, par_.irx, par_.iry, acc_, cur_);
  if (!firstNonFinite_ && !fieldsFinite(cur_, nx, ny)) firstNonFinite_ = jw;
}

void FrequencyLoop::sweep(bool withSource) {
  const int nx = par_.nx, ny = par_.ny;
  const Source none{src_.kdel, src_.jsou, src_.ksou, nullptr};
  const Source& src = withSource ? src_ : none;
  const int threads = static_cast<int>(work_.size());
  // Odd strips first, then even ones: a strip of one parity sees its neighbours'
  // data of this pass (even strips) or of the previous pass (odd strips).  Within a
  // parity each strip's solve and multiplier update read rows of the other parity and
  // write only their own row, so the strips may run in any order and at the same time,
  // and a strip's update may follow its own solve at once: the results are those of
  // all solves first, then all updates, in ascending order.
  for (const int first : {1, 2}) {
    const int count = ny >= first ? (ny - first) / 2 + 1 : 0;
#pragma omp parallel for schedule(static) num_threads(threads)
    for (int n = 0; n < count; ++n) {
      const int k = first + 2 * n;
      solv1it(k, nx, jw_, cur_, beta_, par_.h, src, del_, dofmap_, factors_,
              work_[static_cast<std::size_t>(omp_get_thread_num())]);
      uplag(k, nx, beta_, cur_);
    }
  }
}

int defaultThreads(int nx, int ny) {
  constexpr long kParallelElements = 4096;
  if (static_cast<long>(nx) * static_cast<long>(ny) < kParallelElements) return 1;
  return std::max(omp_get_max_threads(), 1);
}

bool fieldsFinite(const EdgeFields& f, int nx, int ny) {
  for (const Grid<Cx>* g : f.displacements())
    for (int j = 1; j <= ny; ++j)
      for (int i = 1; i <= nx; ++i)
        if (!isfinite((*g)(i, j))) return false;
  return true;
}

}  // namespace sw

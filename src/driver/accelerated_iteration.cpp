// The accelerated iteration of one frequency: passes from the carried interface state,
// mixed by Anderson, finished with plain passes.

#include <cmath>

#include "driver/frequency_loop.hpp"
#include "iteration/vector_ops.hpp"

namespace sw {

IterationResult FrequencyLoop::iterateAccelerated(int jw, rec::OutFile& log) {
  const int nx = par_.nx, ny = par_.ny;
  const int threads = ctl_.threads;
  const std::size_t n = state_.size();
  const auto pass = [this] { sweep(); };
  Anderson<Cx>& mixer = *mixer_;
  mixer.reset();
  trace_.clear();

  IterationResult result;
  int iter = 0;
  bool plain = true;        // the next pass is a plain one
  bool belowReduc = false;  // the last pass was plain and changed the fields by less than reduc
  bool tried = false;       // a finishing pass has been tried at this frequency
  double& finishAt = finishAt_;
  while (iter < ctl_.maxit) {
    if (plain) {
      // The first pass of the frequency (it keeps the established first-pass behaviour)
      // and the finishing passes.  The iteration ends one plain pass after a plain pass
      // changed the fields by less than reduc.
      Change change;
      ++iter;
      plainPass(iter, ctl_, cur_, prev_, nx, ny, pass, change);
      trace_.push_back(-ctl_.relerr);
      result.passes = iter;
      if (iter % 100 == 0) logGlobalError(log, ctl_.relerr, iter, change.errden);
      const bool below = accel_.finishFactor * ctl_.reduc > ctl_.relerr;
      if ((iter == 1 && ctl_.reduc > ctl_.relerr) || belowReduc) {
        logConverged(log, jw, iter, ctl_.relerr);
        result.converged = true;
        return result;
      }
      belowReduc = iter > 1 && below;
      if (belowReduc) {
        // Reached at the first try: the next frequency may try earlier.
        if (!tried) finishAt *= 2.0;
        continue;
      }
      // Too early: the carried state's threshold was too loose by the ratio seen.
      if (iter > 1) finishAt *= 0.5 * accel_.finishFactor * ctl_.reduc / ctl_.relerr;
      tried = iter > 1;
      state_.gather(cur_, beta_, g_.data(), threads);
      plain = false;
      continue;
    }

    // A pass from the carried state, then the mixer's next state.
    state_.scatter(g_.data(), cur_, threads);
    sweep();
    ++iter;
    result.passes = iter;
    state_.gather(cur_, beta_, tg_.data(), threads);
    const double image = squaredNorm(tg_.data(), n, scratch_, threads);
    const double residual = mixer.step(g_.data(), tg_.data());
    // The change a relaxed pass would make, relative to the state.
    ctl_.relerr = kRelaxNew * std::sqrt(residual / image);
    trace_.push_back(ctl_.relerr);
    if (iter % 100 == 0) logGlobalError(log, ctl_.relerr, iter, image);
    if (finishAt * accel_.finishFactor * ctl_.reduc > ctl_.relerr) plain = true;
  }
  logNotConverged(log, jw, result.passes, ctl_.relerr);
  return result;
}

}  // namespace sw

namespace sw {

IterationResult FrequencyLoop::iterateGmres(int jw, rec::OutFile& log) {
  const int nx = par_.nx, ny = par_.ny;
  const int threads = ctl_.threads;
  const std::size_t n = state_.size();
  const auto pass = [this] { sweep(); };
  Gmres<Cx>& solver = *krylov_;
  trace_.clear();
  std::vector<Cx>& r = g_;
  std::vector<Cx> x(n);

  IterationResult result;
  int iter = 0;
  bool plain = true, belowReduc = false;
  double finishAt = accel_.finishAt;
  const double bound = accel_.finishFactor * ctl_.reduc;
  while (iter < ctl_.maxit) {
    if (plain) {
      Change change;
      ++iter;
      plainPass(iter, ctl_, cur_, prev_, nx, ny, pass, change);
      trace_.push_back(-ctl_.relerr);
      result.passes = iter;
      if (iter % 100 == 0) logGlobalError(log, ctl_.relerr, iter, change.errden);
      if ((iter == 1 && ctl_.reduc > ctl_.relerr) || belowReduc) {
        logConverged(log, jw, iter, ctl_.relerr);
        result.converged = true;
        return result;
      }
      belowReduc = iter > 1 && bound > ctl_.relerr;
      if (belowReduc) continue;
      if (iter > 1) finishAt *= 0.5 * bound / ctl_.relerr;
      state_.gather(cur_, beta_, x.data(), threads);
      plain = false;
      continue;
    }
    // The true residual at x.
    state_.scatter(x.data(), cur_, threads);
    sweep();
    ++iter;
    result.passes = iter;
    state_.gather(cur_, beta_, tg_.data(), threads);
    for (std::size_t i = 0; i < n; ++i) r[i] = tg_[i] - x[i];
    const double image = std::sqrt(squaredNorm(tg_.data(), n, scratch_, threads));
    double res = solver.begin(x.data(), r.data());
    ctl_.relerr = kRelaxNew * res / image;
    trace_.push_back(ctl_.relerr);
    if (iter % 100 == 0) logGlobalError(log, ctl_.relerr, iter, image * image);
    if (finishAt * bound > ctl_.relerr) {
      plain = true;
      continue;
    }
    while (iter < ctl_.maxit) {
      state_.scatter(solver.request(), cur_, threads);
      sweep(false);
      ++iter;
      result.passes = iter;
      state_.gather(cur_, beta_, tg_.data(), threads);
      res = solver.deliver(tg_.data());
      ctl_.relerr = kRelaxNew * res / image;
      trace_.push_back(ctl_.relerr);
      if (iter % 100 == 0) logGlobalError(log, ctl_.relerr, iter, image * image);
      if (finishAt * bound > ctl_.relerr) break;
    }
    solver.current(x.data());
  }
  logNotConverged(log, jw, result.passes, ctl_.relerr);
  return result;
}

}  // namespace sw

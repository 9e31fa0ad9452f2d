#include "coupling/accelerated_iteration.hpp"

#include <algorithm>

#include "core/check.hpp"

namespace sw {

namespace {

/// A frequency ends on a plain pass that changes the displacements by less than this
/// fraction of reduc.  A mixed state leaves its error spread differently from the plain
/// iteration's, and one plain pass under reduc can then be several times farther from
/// the solution than the plain iteration is when it stops (up to five times, measured);
/// at a fifth of reduc it was closer at every frequency tried.
constexpr double kFinish = 0.2;

}  // namespace

AcceleratedIteration::AcceleratedIteration(std::size_t n, const AndersonSettings& settings,
                                           int threads, Acceleration which, int shots)
    : mixer_(n, settings, threads),
      x_(n),
      image_(n),
      which_(which),
      slowBefore_(static_cast<std::size_t>(shots), false) {}

std::size_t AcceleratedIteration::bytes() const {
  return mixer_.historyBytes() + (x_.size() + image_.size()) * sizeof(Cx);
}

void AcceleratedIteration::saveCarried(StateWriter& out) const {
  std::vector<unsigned char> slow(slowBefore_.begin(), slowBefore_.end());
  out.array(std::span<const unsigned char>(slow));
}

void AcceleratedIteration::restoreCarried(StateReader& in) {
  std::vector<unsigned char> slow(slowBefore_.size());
  in.array(std::span<unsigned char>(slow));
  for (std::size_t k = 0; k < slow.size(); ++k) slowBefore_[k] = slow[k] != 0;
}

IterationResult AcceleratedIteration::iterate(int shot, int jw, IterationControl& ctl,
                                              const Pass& pass, const CarriedAccess& state,
                                              PassObserver& observer) {
  const IterationResult r = mixesNext(shot) ? iterateMixed(jw, ctl, pass, state, observer)
                                            : iteratePasses(jw, ctl, pass, observer);
  slowBefore_[static_cast<std::size_t>(shot)] = !r.converged || r.passes > kMixAfterPasses;
  return r;
}

IterationResult AcceleratedIteration::iterateMixed(int jw, IterationControl& ctl,
                                                   const Pass& pass, const CarriedAccess& state,
                                                   PassObserver& observer) {
  SW_CHECK(state.size == x_.size(), "carried state of the size of the history");
  // The operator changes with the frequency: the history of the last one does not apply.
  mixer_.reset();
  IterationResult result;
  bool plain = true;  // the fields are the unaltered result of the last pass
  if (ctl.maxit > 0) state.extract(x_.data());
  for (int iter = 1; iter <= ctl.maxit; ++iter) {
    stopIfInterruptedBefore(jw, iter);
    notePass(iter, pass(iter > 1), ctl, result, observer);
    // The first pass has no change to measure: its test is the plain iteration's.
    const double bound = iter == 1 ? ctl.reduc : kFinish * ctl.reduc;
    if (bound > ctl.relerr && plain) {
      result.converged = true;
      break;
    }
    // The fields the frequency ends with are a pass's result, converged or not.
    if (iter == ctl.maxit) break;
    state.extract(image_.data());
    mixer_.step(x_.data(), image_.data());
    plain = bound > ctl.relerr;
    if (plain) {
      // Below the bound from a mixed state: the next pass starts from this pass's result.
      std::copy(image_.begin(), image_.end(), x_.begin());
    } else {
      state.insert(x_.data());
    }
  }
  return result;
}

}  // namespace sw

#include "coupling/accelerated_iteration.hpp"

#include <algorithm>

#include "core/check.hpp"

namespace sw {

AcceleratedIteration::AcceleratedIteration(std::size_t n, const AndersonSettings& settings,
                                           int threads)
    : mixer_(n, settings, threads), x_(n), image_(n) {}

std::size_t AcceleratedIteration::bytes() const {
  return mixer_.historyBytes() + (x_.size() + image_.size()) * sizeof(Cx);
}

IterationResult AcceleratedIteration::iterate(int jw, IterationControl& ctl, const Pass& pass,
                                              const CarriedAccess& state, rec::OutFile& log) {
  SW_CHECK(state.size == x_.size(), "carried state of the size of the history");
  // The operator changes with the frequency: the history of the last one does not apply.
  mixer_.reset();
  IterationResult result;
  bool plain = true;  // the fields are the unaltered result of the last pass
  if (ctl.maxit > 0) state.extract(x_.data());
  for (int iter = 1; iter <= ctl.maxit; ++iter) {
    notePass(iter, pass(iter > 1), ctl, result, log);
    if (ctl.reduc > ctl.relerr && plain) {
      result.converged = true;
      break;
    }
    // The fields the frequency ends with are a pass's result, converged or not.
    if (iter == ctl.maxit) break;
    state.extract(image_.data());
    mixer_.step(x_.data(), image_.data());
    plain = ctl.reduc > ctl.relerr;
    if (plain) {
      // Below reduc from a proposed state: the next pass starts from this pass's result.
      std::copy(image_.begin(), image_.end(), x_.begin());
    } else {
      state.insert(x_.data());
    }
  }
  logConverged(jw, ctl, result, log);
  return result;
}

}  // namespace sw

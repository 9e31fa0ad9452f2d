#include "coupling/iteration.hpp"

#include <cmath>
#include <string>

#include "core/interrupt.hpp"
#include "coupling/relaxation.hpp"

namespace sw {

void notePass(int iter, const Change& change, IterationControl& ctl, IterationResult& result,
              PassObserver& observer) {
  ctl.relerr = iter == 1 ? 1.0 : 2.0 * std::sqrt(change.errnum / change.errden);
  result.passes = iter;
  observer.pass(iter, ctl.relerr, change.errden);
}

void stopIfInterruptedBefore(int jw, int iter) {
  if (interruptSignal() != 0)
    stopIfInterrupted("at frequency number " + std::to_string(jw) + ", pass " +
                      std::to_string(iter));
}

IterationResult iteratePasses(int jw, IterationControl& ctl, const Pass& pass,
                              PassObserver& observer) {
  IterationResult result;
  for (int iter = 1; iter <= ctl.maxit; ++iter) {
    stopIfInterruptedBefore(jw, iter);
    notePass(iter, pass(iter > 1), ctl, result, observer);
    if (ctl.reduc > ctl.relerr) {
      result.converged = true;
      break;
    }
  }
  return result;
}

IterationResult iterateFrequency(int jw, IterationControl& ctl, EdgeFields& cur, EdgeFields& prev,
                                 const std::function<void()>& sweep, PassObserver& observer) {
  return iteratePasses(
      jw, ctl,
      [&](bool measure) {
        savePreviousIterate(cur, prev, ctl.threads);
        sweep();
        relax(cur, prev, ctl.threads);
        return measure ? measureChange(cur, prev, ctl.terms, ctl.threads) : Change{};
      },
      observer);
}

}  // namespace sw

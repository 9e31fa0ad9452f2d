#include "coupling/iteration.hpp"

#include <cmath>
#include <string>

#include "core/interrupt.hpp"
#include "coupling/relaxation.hpp"
#include "records/layout.hpp"

namespace sw {

void notePass(int iter, const Change& change, IterationControl& ctl, IterationResult& result,
              rec::OutFile& log) {
  static const rec::Layout kGlobalError(
      "(/1x,' global error = ',e20.7, 'iteration number = ',i5,    ' denomin. = ',e20.7)");
  ctl.relerr = iter == 1 ? 1.0 : 2.0 * std::sqrt(change.errnum / change.errden);
  result.passes = iter;
  if (ctl.onPass) ctl.onPass(iter, ctl.relerr);
  if (iter % 100 == 0) log.write(kGlobalError, {ctl.relerr, iter, change.errden});
}

void logConverged(int jw, const IterationControl& ctl, const IterationResult& result,
                  rec::OutFile& log) {
  static const rec::Layout kConverged(
      "(/1x,' convergence  for freq. # ',i5,                                  ' achieved in "
      "',i5,' inner iterations ',/,                        ' relative error value = ',e20.8/)");
  static const rec::Layout kNotConverged(
      "(/1x,' NO convergence  for freq. # ',i5,                               ' after  ',i5,' "
      "inner iterations ',/,                             ' relative error value reduction = "
      "',e20.8/)");
  log.write(result.converged ? kConverged : kNotConverged, {jw, result.passes, ctl.relerr});
}

void stopIfInterruptedBefore(int jw, int iter) {
  if (interruptSignal() != 0)
    stopIfInterrupted("at frequency number " + std::to_string(jw) + ", pass " +
                      std::to_string(iter));
}

IterationResult iteratePasses(int jw, IterationControl& ctl, const Pass& pass, rec::OutFile& log) {
  IterationResult result;
  for (int iter = 1; iter <= ctl.maxit; ++iter) {
    stopIfInterruptedBefore(jw, iter);
    notePass(iter, pass(iter > 1), ctl, result, log);
    if (ctl.reduc > ctl.relerr) {
      result.converged = true;
      break;
    }
  }
  logConverged(jw, ctl, result, log);
  return result;
}

IterationResult iterateFrequency(int jw, IterationControl& ctl, EdgeFields& cur, EdgeFields& prev,
                                 const std::function<void()>& sweep, rec::OutFile& log) {
  return iteratePasses(
      jw, ctl,
      [&](bool measure) {
        savePreviousIterate(cur, prev, ctl.threads);
        sweep();
        relax(cur, prev, ctl.threads);
        return measure ? measureChange(cur, prev, ctl.terms, ctl.threads) : Change{};
      },
      log);
}

}  // namespace sw

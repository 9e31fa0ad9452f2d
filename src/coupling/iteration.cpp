#include "coupling/iteration.hpp"

#include <cmath>

#include "coupling/relaxation.hpp"
#include "records/layout.hpp"

namespace sw {

IterationResult iterateFrequency(int jw, IterationControl& ctl, EdgeFields& cur, EdgeFields& prev,
                                 const std::function<void()>& sweep, rec::OutFile& log) {
  static const rec::Layout kGlobalError(
      "(/1x,' global error = ',e20.7, 'iteration number = ',i5,    ' denomin. = ',e20.7)");
  static const rec::Layout kConverged(
      "(/1x,' convergence  for freq. # ',i5,                                  ' achieved in "
      "',i5,' inner iterations ',/,                        ' relative error value = ',e20.8/)");
  static const rec::Layout kNotConverged(
      "(/1x,' NO convergence  for freq. # ',i5,                               ' after  ',i5,' "
      "inner iterations ',/,                             ' relative error value reduction = "
      "',e20.8/)");

  IterationResult result;
  for (int iter = 1; iter <= ctl.maxit; ++iter) {
    savePreviousIterate(cur, prev, ctl.threads);
    sweep();
    relax(cur, prev, ctl.threads);
    Change change;
    if (iter == 1) {
      ctl.relerr = 1.0;
    } else {
      change = measureChange(cur, prev, ctl.terms, ctl.threads);
      ctl.relerr = 2.0 * std::sqrt(change.errnum / change.errden);
    }
    result.passes = iter;
    if (ctl.onPass) ctl.onPass(iter, ctl.relerr);
    if (iter % 100 == 0) log.write(kGlobalError, {ctl.relerr, iter, change.errden});
    if (ctl.reduc > ctl.relerr) {
      log.write(kConverged, {jw, iter, ctl.relerr});
      result.converged = true;
      return result;
    }
  }
  log.write(kNotConverged, {jw, result.passes, ctl.relerr});
  return result;
}

}  // namespace sw

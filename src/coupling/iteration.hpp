#pragma once
/// The iteration of one frequency: passes of strip solves and multiplier updates,
/// relaxation towards the previous iterate, and the convergence test.

#include <functional>

#include "coupling/change.hpp"
#include "coupling/edge_fields.hpp"

namespace sw {

/// Outcome of the iteration of one frequency.
struct IterationResult {
  bool converged = false;
  int passes = 0;
};

/// Iteration controls and the state that carries over between frequencies.
struct IterationControl {
  int maxit = 0;        ///< pass limit of this frequency
  double reduc = 0.0;   ///< convergence when reduc > relerr
  double relerr = 0.0;  ///< last relative change computed in the run (0 before any)
  ChangeTerms terms;    ///< scratch of the change measure, kept between frequencies
  int threads = 1;      ///< threads of the element-wise steps (results do not depend on it)
};

/// Told of every pass of the iteration: its number (1 on the first pass of a frequency),
/// the relative change and the denominator of the change measure.  The iteration writes
/// nothing itself; what is logged or shown is the observer's.
class PassObserver {
 public:
  virtual ~PassObserver() = default;
  virtual void pass(int iter, double relerr, double errden) = 0;
};

/// One pass (strip solves, multiplier updates, relaxation); when asked to measure (every
/// pass after the first of a frequency) it returns the two sums of the change.
using Pass = std::function<Change(bool measure)>;

/// Runs passes iter = 1 .. maxit of `pass` for frequency index jw until the relative
/// change falls below reduc, telling `observer` of each.  A SIGINT or SIGTERM noted
/// meanwhile ends the loop before the next pass (stopIfInterruptedBefore).
IterationResult iteratePasses(int jw, IterationControl& ctl, const Pass& pass,
                              PassObserver& observer);

/// iteratePasses with the plain pass: keep the previous iterate, `sweep` (the odd and
/// even strip solves and multiplier updates), relax, measure.
IterationResult iterateFrequency(int jw, IterationControl& ctl, EdgeFields& cur, EdgeFields& prev,
                                 const std::function<void()>& sweep, PassObserver& observer);

/// The relative change of pass `iter` (1 on the first pass of a frequency) into
/// ctl.relerr, the pass count, and the observer told.
void notePass(int iter, const Change& change, IterationControl& ctl, IterationResult& result,
              PassObserver& observer);
/// Throws Interrupted, saying "at frequency number <jw>, pass <iter>", when a SIGINT or
/// SIGTERM asked the run to stop (core/interrupt.hpp).  Every loop of passes calls it
/// before each pass: a stop is taken between passes, never inside one.
void stopIfInterruptedBefore(int jw, int iter);

}  // namespace sw

#pragma once
/// The iteration of one frequency: passes of strip solves and multiplier updates,
/// relaxation towards the previous iterate, and the convergence test.

#include <functional>

#include "coupling/change.hpp"
#include "coupling/edge_fields.hpp"
#include "records/out_file.hpp"

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
  std::function<void(int passes, double relerr)> onPass;  ///< told after each pass, if set
};

/// One pass (strip solves, multiplier updates, relaxation); when asked to measure (every
/// pass after the first of a frequency) it returns the two sums of the change.
using Pass = std::function<Change(bool measure)>;

/// Runs passes iter = 1 .. maxit of `pass`; logs the "global error" line every 100
/// passes and the convergence or "NO convergence" line for frequency index jw.  A SIGINT
/// or SIGTERM noted meanwhile ends the loop before the next pass (stopIfInterruptedBefore).
IterationResult iteratePasses(int jw, IterationControl& ctl, const Pass& pass, rec::OutFile& log);

/// iteratePasses with the plain pass: keep the previous iterate, `sweep` (the odd and
/// even strip solves and multiplier updates), relax, measure.
IterationResult iterateFrequency(int jw, IterationControl& ctl, EdgeFields& cur, EdgeFields& prev,
                                 const std::function<void()>& sweep, rec::OutFile& log);

/// The relative change of pass `iter` (1 on the first pass of a frequency) into
/// ctl.relerr, and what follows every pass: the pass count, onPass and, every 100
/// passes, the "global error" line.
void notePass(int iter, const Change& change, IterationControl& ctl, IterationResult& result,
              rec::OutFile& log);
/// Throws Interrupted, saying "at frequency number <jw>, pass <iter>", when a SIGINT or
/// SIGTERM asked the run to stop (core/interrupt.hpp).  Every loop of passes calls it
/// before each pass: a stop is taken between passes, never inside one.
void stopIfInterruptedBefore(int jw, int iter);
/// The convergence line, or the "NO convergence" line after the last pass.
void logConverged(int jw, const IterationControl& ctl, const IterationResult& result,
                  rec::OutFile& log);

}  // namespace sw

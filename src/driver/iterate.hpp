#pragma once
/// The domain-decomposition iteration of one frequency: passes of strip solves and
/// multiplier updates, relaxation towards the previous iterate, and the change test.

#include <functional>
#include <vector>

#include "driver/storage.hpp"
#include "records/out_file.hpp"

namespace sw {

/// Relaxation weights: 0.7 of the new iterate, 1 - 0.7 (as a double) of the previous one.
inline constexpr double kRelaxNew = 0.7;
inline constexpr double kRelaxOld = 0.30000000000000004;

/// Copies the sixteen current arrays into their previous-iterate twins, ghost frame included.
void saveTwins(const EdgeFields& cur, EdgeFields& prev, int threads = 1);

/// X = 0.7 X + 0.30000000000000004 Xp over the elements 1..nx, 1..ny of all sixteen
/// arrays, real and imaginary parts separately; the ghost frame is not relaxed.
void relax(EdgeFields& cur, const EdgeFields& prev, int nx, int ny, int threads = 1);

/// The terms of the two sums below, in summation order.
struct ChangeTerms {
  std::vector<double> num, den;
};

/// Sums of squared differences and squared sums of the eight displacement arrays.
struct Change {
  double errnum = 0.0;
  double errden = 0.0;
};

/// errnum = sum |Xp - X|^2 and errden = sum |Xp + X|^2 over i = 1..nx (outer),
/// j = 1..ny (inner) and the displacement arrays u1 l, t, b, r, then u2 l, t, b, r.
/// `terms` is scratch for the squared moduli, which are formed on `threads` threads
/// before the serial sums.
Change measureChange(const EdgeFields& cur, const EdgeFields& prev, int nx, int ny,
                     ChangeTerms& terms, int threads);

/// The same with scratch of its own.
Change measureChange(const EdgeFields& cur, const EdgeFields& prev, int nx, int ny);

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

/// The log lines of the iteration: every 100 passes, on convergence, on reaching the limit.
void logGlobalError(rec::OutFile& log, double relerr, int iter, double errden);
void logConverged(rec::OutFile& log, int jw, int iter, double relerr);
void logNotConverged(rec::OutFile& log, int jw, int passes, double relerr);

/// One pass of the established iteration: save the twins, `sweep`, relax, and the
/// relative change (1 on the first pass of a frequency, `iter` 1).
void plainPass(int iter, IterationControl& ctl, EdgeFields& cur, EdgeFields& prev, int nx, int ny,
               const std::function<void()>& sweep, Change& change);

/// Runs passes iter = 1 .. maxit: save the twins, `sweep` (the odd and even strip
/// solves and multiplier updates), relax, measure; logs the "global error" line every
/// 100 passes and the convergence or "NO convergence" line for frequency index jw.
IterationResult iterate(int jw, IterationControl& ctl, EdgeFields& cur, EdgeFields& prev, int nx,
                        int ny, const std::function<void()>& sweep, rec::OutFile& log);

}  // namespace sw

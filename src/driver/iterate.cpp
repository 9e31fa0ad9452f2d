#include "driver/iterate.hpp"

#include <cmath>
#include <cstddef>

#include "records/layout.hpp"

namespace sw {

void saveTwins(const EdgeFields& cur, EdgeFields& prev, int threads) {
  const auto from = cur.arrays();
  const auto to = prev.arrays();
#pragma omp parallel for schedule(static) num_threads(threads)
  for (int a = 0; a < 16; ++a) *to[a] = *from[a];
}

void relax(EdgeFields& cur, const EdgeFields& prev, int nx, int ny, int threads) {
  const auto x = cur.arrays();
  const auto xp = prev.arrays();
#pragma omp parallel for schedule(static) num_threads(threads)
  for (int j = 1; j <= ny; ++j) {
    for (int a = 0; a < 16; ++a) {
      Cx* row = &(*x[a])(1, j);
      const Cx* prow = &(*xp[a])(1, j);
      for (int i = 0; i < nx; ++i) {
        row[i].re = kRelaxNew * row[i].re + kRelaxOld * prow[i].re;
        row[i].im = kRelaxNew * row[i].im + kRelaxOld * prow[i].im;
      }
    }
  }
}

Change measureChange(const EdgeFields& cur, const EdgeFields& prev, int nx, int ny,
                     ChangeTerms& terms, int threads) {
  const auto x = cur.displacements();
  const auto xp = prev.displacements();
  const std::size_t count = 8 * static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny);
  terms.num.resize(count);
  terms.den.resize(count);

  // The squared moduli, row by row in parallel, each stored at its place in the sums.
#pragma omp parallel for schedule(static) num_threads(threads)
  for (int j = 1; j <= ny; ++j) {
    for (int a = 0; a < 8; ++a) {
      const Cx* row = &(*x[a])(1, j);
      const Cx* prow = &(*xp[a])(1, j);
      std::size_t at = 8 * static_cast<std::size_t>(j - 1) + static_cast<std::size_t>(a);
      for (int i = 0; i < nx; ++i, at += 8 * static_cast<std::size_t>(ny)) {
        const double d = abs(prow[i] - row[i]);
        const double s = abs(prow[i] + row[i]);
        terms.num[at] = d * d;
        terms.den[at] = s * s;
      }
    }
  }

  // Each sum is taken serially in the order i outer, j inner, arrays in turn, so that it
  // and the logged values derived from it are reproducible to the last bit; the two sums
  // are independent and run side by side.
  Change c;
#pragma omp parallel sections num_threads(threads > 1 ? 2 : 1)
  {
#pragma omp section
    for (const double t : terms.num) c.errnum = c.errnum + t;
#pragma omp section
    for (const double t : terms.den) c.errden = c.errden + t;
  }
  return c;
}

Change measureChange(const EdgeFields& cur, const EdgeFields& prev, int nx, int ny) {
  ChangeTerms terms;
  return measureChange(cur, prev, nx, ny, terms, 1);
}

void logGlobalError(rec::OutFile& log, double relerr, int iter, double errden) {
  static const rec::Layout kGlobalError(
      "(/1x,' global error = ',e20.7, 'iteration number = ',i5,    ' denomin. = ',e20.7)");
  log.write(kGlobalError, {relerr, iter, errden});
}

void logConverged(rec::OutFile& log, int jw, int iter, double relerr) {
  static const rec::Layout kConverged(
      "(/1x,' convergence  for freq. # ',i5,                                  ' achieved in "
      "',i5,' inner iterations ',/,                        ' relative error value = ',e20.8/)");
  log.write(kConverged, {jw, iter, relerr});
}

void logNotConverged(rec::OutFile& log, int jw, int passes, double relerr) {
  static const rec::Layout kNotConverged(
      "(/1x,' NO convergence  for freq. # ',i5,                               ' after  ',i5,' "
      "inner iterations ',/,                             ' relative error value reduction = "
      "',e20.8/)");
  log.write(kNotConverged, {jw, passes, relerr});
}

void plainPass(int iter, IterationControl& ctl, EdgeFields& cur, EdgeFields& prev, int nx, int ny,
               const std::function<void()>& sweep, Change& change) {
  saveTwins(cur, prev, ctl.threads);
  sweep();
  relax(cur, prev, nx, ny, ctl.threads);
  if (iter == 1) {
    ctl.relerr = 1.0;
  } else {
    change = measureChange(cur, prev, nx, ny, ctl.terms, ctl.threads);
    ctl.relerr = 2.0 * std::sqrt(change.errnum / change.errden);
  }
}

IterationResult iterate(int jw, IterationControl& ctl, EdgeFields& cur, EdgeFields& prev, int nx,
                        int ny, const std::function<void()>& sweep, rec::OutFile& log) {
  IterationResult result;
  for (int iter = 1; iter <= ctl.maxit; ++iter) {
    Change change;
    plainPass(iter, ctl, cur, prev, nx, ny, sweep, change);
    result.passes = iter;
    if (iter % 100 == 0) logGlobalError(log, ctl.relerr, iter, change.errden);
    if (ctl.reduc > ctl.relerr) {
      logConverged(log, jw, iter, ctl.relerr);
      result.converged = true;
      return result;
    }
  }
  logNotConverged(log, jw, result.passes, ctl.relerr);
  return result;
}

}  // namespace sw

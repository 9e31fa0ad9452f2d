#include "driver/iterate.hpp"

#include <cmath>

#include "records/layout.hpp"

namespace sw {

namespace {

template <class F>
void forEachArray(EdgeFields& cur, const EdgeFields& prev, F&& f) {
  EdgeQuantity* const c[4] = {&cur.u1, &cur.u2, &cur.lag1, &cur.lag2};
  const EdgeQuantity* const p[4] = {&prev.u1, &prev.u2, &prev.lag1, &prev.lag2};
  for (int q = 0; q < 4; ++q) {
    f(c[q]->l, p[q]->l);
    f(c[q]->t, p[q]->t);
    f(c[q]->b, p[q]->b);
    f(c[q]->r, p[q]->r);
  }
}

}  // namespace

void saveTwins(const EdgeFields& cur, EdgeFields& prev) {
  prev = cur;
}

void relax(EdgeFields& cur, const EdgeFields& prev, int nx, int ny) {
  forEachArray(cur, prev, [nx, ny](Grid<Cx>& x, const Grid<Cx>& xp) {
    for (int j = 1; j <= ny; ++j) {
      Cx* row = &x(1, j);
      const Cx* prow = &xp(1, j);
      for (int i = 0; i < nx; ++i) {
        row[i].re = kRelaxNew * row[i].re + kRelaxOld * prow[i].re;
        row[i].im = kRelaxNew * row[i].im + kRelaxOld * prow[i].im;
      }
    }
  });
}

Change measureChange(const EdgeFields& cur, const EdgeFields& prev, int nx, int ny) {
  const Grid<Cx>* const x[8] = {&cur.u1.l, &cur.u1.t, &cur.u1.b, &cur.u1.r,
                                &cur.u2.l, &cur.u2.t, &cur.u2.b, &cur.u2.r};
  const Grid<Cx>* const xp[8] = {&prev.u1.l, &prev.u1.t, &prev.u1.b, &prev.u1.r,
                                 &prev.u2.l, &prev.u2.t, &prev.u2.b, &prev.u2.r};
  // Summed in this order (i outer, j inner, arrays in turn) so that the sums, and the
  // logged values derived from them, are reproducible to the last bit.
  Change c;
  for (int i = 1; i <= nx; ++i) {
    for (int j = 1; j <= ny; ++j) {
      for (int a = 0; a < 8; ++a) {
        const Cx v = (*x[a])(i, j);
        const Cx vp = (*xp[a])(i, j);
        const double d = abs(vp - v);
        const double s = abs(vp + v);
        c.errnum = c.errnum + d * d;
        c.errden = c.errden + s * s;
      }
    }
  }
  return c;
}

IterationResult iterate(int jw, IterationControl& ctl, EdgeFields& cur, EdgeFields& prev, int nx,
                        int ny, const std::function<void()>& sweep, rec::OutFile& log) {
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
    saveTwins(cur, prev);
    sweep();
    relax(cur, prev, nx, ny);
    Change change;
    if (iter == 1) {
      ctl.relerr = 1.0;
    } else {
      change = measureChange(cur, prev, nx, ny);
      ctl.relerr = 2.0 * std::sqrt(change.errnum / change.errden);
    }
    result.passes = iter;
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

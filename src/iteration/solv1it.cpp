#include "iteration/solv1it.hpp"

#include "strip/solver15.hpp"

namespace sw {

namespace {

using EdgeGrid = Grid<Cx> EdgeQuantity::*;

/// The two local right-hand-side entries of one edge.
struct Pair {
  Cx x, y;
};

/// (1 - d) h (beta u + lag) for edge `own` of element (i, s), with the neighbour's data
/// taken from edge `nb` of element (in, jn).  h goes into the beta entries first and the
/// sums run left to right: the reference results were produced in this order.
Pair robin(double d, double h, const Betas& beta, EdgeGrid own, int i, int s, const EdgeFields& cur,
           EdgeGrid nb, int in, int jn) {
  const Cx b11 = (beta.b11.*own)(i, s);
  const Cx b12 = (beta.b12.*own)(i, s);
  const Cx b22 = (beta.b22.*own)(i, s);
  const Cx u1 = (cur.u1.*nb)(in, jn);
  const Cx u2 = (cur.u2.*nb)(in, jn);
  const Cx l1 = (cur.lag1.*nb)(in, jn);
  const Cx l2 = (cur.lag2.*nb)(in, jn);
  const Cx first = ((h * b11) * u1 + h * l1) + (h * b12) * u2;
  const Cx second = ((h * b22) * u2 + h * l2) + (h * b12) * u1;
  const double keep = 1.0 - d;
  return {keep * first, keep * second};
}

/// (1 - d) h lag for a vertical edge inside the strip, from edge `nb` of element (in, s).
Pair multiplierOnly(double d, double h, const EdgeFields& cur, EdgeGrid nb, int in, int s) {
  const double keep = 1.0 - d;
  return {keep * (h * (cur.lag1.*nb)(in, s)), keep * (h * (cur.lag2.*nb)(in, s))};
}

}  // namespace

void addSource(int kdel, Cx sour, double h, Cx* r) {
  const Cx q = sour / h;
  // The large constants are formed as products, and the negative ones as complex
  // products with a negative-zero imaginary part, as the reference program does; this
  // decides the sign of zero parts and the propagation of infinities.
  const double e6 = 1.0e6;
  const double e13 = e6 * 1.0e7;
  const double e9 = e6 * 1000.0;
  switch (kdel) {
    case 1: {
      const Cx pos = e6 * q;
      const Cx neg = q * Cx{-e6, -0.0};
      r[1] += pos;
      r[6] += pos;
      r[4] += neg;
      r[7] += neg;
      break;
    }
    case 2: {
      const Cx pos = e13 * q;
      const Cx neg = q * Cx{-e13, -0.0};
      r[2] += pos;
      r[5] += pos;
      r[3] += neg;
      r[8] += neg;
      break;
    }
    case 3: {
      const Cx pos13 = e13 * q;
      const Cx neg13 = q * Cx{-e13, -0.0};
      const Cx pos9 = e9 * q;
      const Cx neg9 = q * Cx{-e9, -0.0};
      r[1] += pos13;
      r[7] += neg13;
      r[6] += pos13 - pos9;
      r[4] += neg13 + pos9;
      r[3] += pos9;
      r[5] += neg9;
      break;
    }
    default:
      // 0, 9 and any other selector: no point-force pattern is applied.
      break;
  }
}

void stripRhs(int s, int nx, int jw, const EdgeFields& cur, const Betas& beta, double h,
              const Source& src, const Indicators& del, const Dofmap& dofmap, Cx* rhs) {
  const int n = stripUnknowns(nx);
  for (int k = 1; k <= n; ++k) rhs[k] = Cx{};

  for (int i = 1; i <= nx; ++i) {
    Cx r[9];  // local entries 1 .. 8

    const Pair left =
        (i == 1) ? robin(del.xl(1), h, beta, &EdgeQuantity::l, 1, s, cur, &EdgeQuantity::r, 0, s)
                 : multiplierOnly(del.xl(i), h, cur, &EdgeQuantity::r, i - 1, s);
    const Pair top =
        robin(del.yt(s), h, beta, &EdgeQuantity::t, i, s, cur, &EdgeQuantity::b, i, s + 1);
    const Pair bottom =
        robin(del.yb(s), h, beta, &EdgeQuantity::b, i, s, cur, &EdgeQuantity::t, i, s - 1);
    const Pair right = (i == nx) ? robin(del.xr(nx), h, beta, &EdgeQuantity::r, nx, s, cur,
                                         &EdgeQuantity::l, nx + 1, s)
                                 : multiplierOnly(del.xr(i), h, cur, &EdgeQuantity::l, i + 1, s);
    r[1] = left.x;
    r[2] = left.y;
    r[3] = top.x;
    r[4] = top.y;
    r[5] = bottom.x;
    r[6] = bottom.y;
    r[7] = right.x;
    r[8] = right.y;

    if (i == src.jsou && s == src.ksou && src.sour != nullptr)
      addSource(src.kdel, (*src.sour)(jw), h, r);

    // Ascending m: on a shared vertical edge element i's r pair is added before
    // element i+1's l pair.
    for (int m = 1; m <= 8; ++m) rhs[dofmap(i, m)] += r[m];
  }
}

void solv1it(int s, int nx, int jw, EdgeFields& cur, const Betas& beta, double h, const Source& src,
             const Indicators& del, const Dofmap& dofmap, const StripFactors& f, StripWork& work) {
  stripRhs(s, nx, jw, cur, beta, h, src, del, dofmap, work.rhs.data());
  solver15(nx, s, work.rhs.data(), f, work.answer.data(), work.y.data());

  const Cx* x = work.answer.data();
  for (int i = 1; i <= nx; ++i) {
    const int c = 6 * (i - 1);
    cur.u1.l(i, s) = x[c + 1];
    cur.u2.l(i, s) = x[c + 2];
    cur.u1.t(i, s) = x[c + 3];
    cur.u2.t(i, s) = x[c + 4];
    cur.u1.b(i, s) = x[c + 5];
    cur.u2.b(i, s) = x[c + 6];
    cur.u1.r(i, s) = x[c + 7];
    cur.u2.r(i, s) = x[c + 8];
  }
}

}  // namespace sw

#include "coupling/strip_displacements.hpp"

#include "core/check.hpp"
#include "coupling/edge_terms.hpp"
#include "strip/solve_strip.hpp"

namespace sw {

namespace {

using Pair = EdgePair<Cx>;

/// Edge `side` of element (i, j).
struct EdgeOf {
  Edge side;
  int i, j;
};

/// The Robin term (robinPair) of edge `own` of an element of the strip, with the
/// neighbour's data taken from edge `nb`.
Pair robin(double d, double h, const InterfaceParameters& beta, EdgeOf own, const EdgeFields& cur,
           EdgeOf nb) {
  return robinPair(1.0 - d, h, beta.b11[own.side](own.i, own.j), beta.b12[own.side](own.i, own.j),
                   beta.b22[own.side](own.i, own.j), cur.u1[nb.side](nb.i, nb.j),
                   cur.u2[nb.side](nb.i, nb.j), cur.lag1[nb.side](nb.i, nb.j),
                   cur.lag2[nb.side](nb.i, nb.j));
}

/// (1 - d) h lag for a vertical edge inside the strip, from the neighbour's edge `nb`.
Pair multiplierOnly(double d, double h, const EdgeFields& cur, EdgeOf nb) {
  return multiplierPair(1.0 - d, h, cur.lag1[nb.side](nb.i, nb.j), cur.lag2[nb.side](nb.i, nb.j));
}

/// Local unknowns by name: component x or y on edge l, t, b or r.
constexpr int xl = localUnknown(Edge::l, 1), yl = localUnknown(Edge::l, 2);
constexpr int xt = localUnknown(Edge::t, 1), yt = localUnknown(Edge::t, 2);
constexpr int xb = localUnknown(Edge::b, 1), yb = localUnknown(Edge::b, 2);
constexpr int xr = localUnknown(Edge::r, 1), yr = localUnknown(Edge::r, 2);

}  // namespace

void addSource(int kdel, Cx sour, double h, Cx* r) {
  const Cx q = sour / h;
  // The large constants are formed as products, and the negative ones as complex
  // products with a negative-zero imaginary part, as in the reference results; this
  // decides the sign of zero parts and the propagation of infinities.
  const double e6 = 1.0e6;
  const double e13 = e6 * 1.0e7;
  const double e9 = e6 * 1000.0;
  switch (kdel) {
    case 1: {
      const Cx pos = e6 * q;
      const Cx neg = q * Cx{-e6, -0.0};
      r[xl] += pos;
      r[yb] += pos;
      r[yt] += neg;
      r[xr] += neg;
      break;
    }
    case 2: {
      const Cx pos = e13 * q;
      const Cx neg = q * Cx{-e13, -0.0};
      r[yl] += pos;
      r[xb] += pos;
      r[xt] += neg;
      r[yr] += neg;
      break;
    }
    case 3: {
      const Cx pos13 = e13 * q;
      const Cx neg13 = q * Cx{-e13, -0.0};
      const Cx pos9 = e9 * q;
      const Cx neg9 = q * Cx{-e9, -0.0};
      r[xl] += pos13;
      r[xr] += neg13;
      r[yb] += pos13 - pos9;
      r[yt] += neg13 + pos9;
      r[xt] += pos9;
      r[xb] += neg9;
      break;
    }
    case 4:
    case 5: {
      // A point force 1e6 s(w) at the element's centre, along +y (4, vertical) or +x (5,
      // horizontal): each edge's basis function is 1/4 there.
      const Cx quarter = (e6 * sour) * 0.25;
      if (kdel == 4) {
        r[yl] += quarter;
        r[yr] += quarter;
        r[yb] += quarter;
        r[yt] += quarter;
      } else {
        r[xl] += quarter;
        r[xr] += quarter;
        r[xb] += quarter;
        r[xt] += quarter;
      }
      break;
    }
    default:
      // 0, 9 and any other selector: no source is applied.
      break;
  }
}

void stripRightHandSide(int s, const StripSystem& sys, const PointSource& src,
                        const EdgeFields& cur, Cx* rhs) {
  const int nx = sys.nx;
  const double h = sys.h;
  const BoundaryIndicators& del = sys.del;
  const InterfaceParameters& beta = sys.beta;
  const int n = stripUnknowns(nx);
  for (int k = 1; k <= n; ++k) rhs[k] = Cx{};

  for (int i = 1; i <= nx; ++i) {
    const Pair left = i == 1 ? robin(del.xl(1), h, beta, {Edge::l, 1, s}, cur, {Edge::r, 0, s})
                             : multiplierOnly(del.xl(i), h, cur, {Edge::r, i - 1, s});
    const Pair top = robin(del.yt(s), h, beta, {Edge::t, i, s}, cur, {Edge::b, i, s + 1});
    const Pair bottom = robin(del.yb(s), h, beta, {Edge::b, i, s}, cur, {Edge::t, i, s - 1});
    const Pair right = i == nx
                           ? robin(del.xr(nx), h, beta, {Edge::r, nx, s}, cur, {Edge::l, nx + 1, s})
                           : multiplierOnly(del.xr(i), h, cur, {Edge::l, i + 1, s});
    Cx r[kElementUnknowns + 1];  // local entries 1 .. 8
    const Pair* pairs[4] = {&left, &top, &bottom, &right};
    for (int e = 0; e < 4; ++e) {
      r[localUnknown(kEdges[e], 1)] = pairs[e]->x;
      r[localUnknown(kEdges[e], 2)] = pairs[e]->y;
    }

    if (i == src.jsou && s == src.ksou) addSource(src.kdel, src.value, h, r);

    // Ascending m: on a shared vertical edge element i's r pair is added before
    // element i+1's l pair.
    for (int m = 1; m <= kElementUnknowns; ++m) rhs[stripUnknown(i, m)] += r[m];
  }
}

void solveStripDisplacements(int s, const StripSystem& sys, const StripFactors& f,
                             const PointSource& src, EdgeFields& cur, StripWork& work) {
  SW_CHECK(s >= 1 && s <= sys.ny && cur.nx() == sys.nx && cur.ny() == sys.ny,
           "strip of the grid of the fields");
  stripRightHandSide(s, sys, src, cur, work.rhs.data());
  solveStrip(s, f, work);

  const Cx* x = work.answer.data();
  for (int i = 1; i <= sys.nx; ++i)
    for (const Edge e : kEdges) {
      cur.u1[e](i, s) = x[stripUnknown(i, localUnknown(e, 1))];
      cur.u2[e](i, s) = x[stripUnknown(i, localUnknown(e, 2))];
    }
}

}  // namespace sw

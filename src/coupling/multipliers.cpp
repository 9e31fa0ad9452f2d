#include "coupling/multipliers.hpp"

#include "core/check.hpp"
#include "coupling/edge_terms.hpp"

namespace sw {

namespace {

/// One multiplier entry (multiplierUpdate).
Cx update(Cx ba, Cx bb, Cx dx, Cx dy, Cx neighbour) {
  return multiplierUpdate(ba, bb, dx, dy, neighbour);
}

}  // namespace

void updateMultipliers(int s, const InterfaceParameters& beta, EdgeFields& cur) {
  const int nx = cur.nx();
  SW_CHECK(s >= 1 && s <= cur.ny() && beta.b11.l.nx() == nx && beta.b11.l.ny() == cur.ny(),
           "strip of the grid of the interface parameters");
  const EdgeQuantity& b11 = beta.b11;
  const EdgeQuantity& b12 = beta.b12;
  const EdgeQuantity& b22 = beta.b22;
  EdgeQuantity& u1 = cur.u1;
  EdgeQuantity& u2 = cur.u2;
  EdgeQuantity& g1 = cur.lag1;
  EdgeQuantity& g2 = cur.lag2;

  // Ascending i, in place: the l update of element i reads the r multiplier of element
  // i-1 written just before, while the r update reads the l multiplier of element i+1
  // as it was before the call.
  for (int i = 1; i <= nx; ++i) {
    const Cx dxl = u1.l(i, s) - u1.r(i - 1, s);
    const Cx dyl = u2.l(i, s) - u2.r(i - 1, s);
    const Cx dxt = u1.t(i, s) - u1.b(i, s + 1);
    const Cx dyt = u2.t(i, s) - u2.b(i, s + 1);
    const Cx dxb = u1.b(i, s) - u1.t(i, s - 1);
    const Cx dyb = u2.b(i, s) - u2.t(i, s - 1);
    const Cx dxr = u1.r(i, s) - u1.l(i + 1, s);
    const Cx dyr = u2.r(i, s) - u2.l(i + 1, s);

    g1.l(i, s) = update(b11.l(i, s), b12.l(i, s), dxl, dyl, g1.r(i - 1, s));
    g1.t(i, s) = update(b11.t(i, s), b12.t(i, s), dxt, dyt, g1.b(i, s + 1));
    g2.l(i, s) = update(b12.l(i, s), b22.l(i, s), dxl, dyl, g2.r(i - 1, s));
    g2.t(i, s) = update(b12.t(i, s), b22.t(i, s), dxt, dyt, g2.b(i, s + 1));
    g1.b(i, s) = update(b11.b(i, s), b12.b(i, s), dxb, dyb, g1.t(i, s - 1));
    g1.r(i, s) = update(b11.r(i, s), b12.r(i, s), dxr, dyr, g1.l(i + 1, s));
    g2.b(i, s) = update(b12.b(i, s), b22.b(i, s), dxb, dyb, g2.t(i, s - 1));
    g2.r(i, s) = update(b12.r(i, s), b22.r(i, s), dxr, dyr, g2.l(i + 1, s));
  }
}

}  // namespace sw

#include "strip/element_matrix.hpp"

#include <cmath>

namespace sw {

namespace {

/// Reference matrices over the edges in their order (l, t, b, r), in units of 1/5040.
constexpr int kSxx[4][4] = {{11700, -6660, -6660, 1620},
                            {-6660, 6660, 6660, -6660},
                            {-6660, 6660, 6660, -6660},
                            {1620, -6660, -6660, 11700}};
constexpr int kSyy[4][4] = {{6660, -6660, -6660, 6660},
                            {-6660, 11700, 1620, -6660},
                            {-6660, 1620, 11700, -6660},
                            {6660, -6660, -6660, 6660}};
constexpr int kSxy[4][4] = {{0, -5040, 5040, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 5040, -5040, 0}};
constexpr int kMref[4][4] = {
    {781, 269, 269, -59}, {269, 781, -59, 269}, {269, -59, 781, 269}, {-59, 269, 269, 781}};
constexpr double kDen = 5040.0;

/// (p numerator) / 5040, real and imaginary parts alike.
inline Cx term(Cx p, int numerator) { return (p * static_cast<double>(numerator)) / kDen; }

}  // namespace

void elementStiffnessMass(const ElementCoefficients& c, double omega, double h, ElementMatrix& e) {
  const double m0 = -(omega * omega * c.rho);
  const double mh = (h * h) * m0;
  // Every term is kept, zero numerators included (they can decide the sign of a
  // zero), and summed left to right in the written order.
  for (int ee = 0; ee < 4; ++ee) {
    for (int ff = 0; ff < 4; ++ff) {
      const int sxx = kSxx[ee][ff], syy = kSyy[ee][ff];
      const int sxy = kSxy[ee][ff], syx = kSxy[ff][ee];
      const double mass = (mh * static_cast<double>(kMref[ee][ff])) / kDen;

      Cx xx = term(c.p11, sxx) + term(c.p55, syy) + term(c.p15, sxy + syx);
      xx.re = xx.re + mass;
      const Cx xy = term(c.p15, sxx) + term(c.p35, syy) + term(c.p13, sxy) + term(c.p55, syx);
      Cx yy = term(c.p55, sxx) + term(c.p33, syy) + term(c.p35, sxy + syx);
      yy.re = yy.re + mass;

      const int ex = localUnknown(kEdges[ee], 1), ey = localUnknown(kEdges[ee], 2);
      const int fx = localUnknown(kEdges[ff], 1), fy = localUnknown(kEdges[ff], 2);
      e(ex, fx) = xx;
      e(ex, fy) = xy;
      e(fy, ex) = xy;  // the y-x block is the transpose of the x-y block
      e(ey, fy) = yy;
    }
  }
}

void addEdgeTerm(const EdgeTerm& term, Edge edge, double omega, double h, double sqrtRho,
                 ElementMatrix& e) {
  const int x = localUnknown(edge, 1), y = localUnknown(edge, 2);
  const double open = 1.0 - term.d;
  const double absorb = (omega * term.d) * h;
  auto add = [&](Cx& entry, Cx beta, double z) {
    entry.re = entry.re + (open * beta.re) * h;
    entry.im = (entry.im + (absorb * z) * sqrtRho) + (open * beta.im) * h;
  };
  add(e(x, x), term.b11, term.z11);
  add(e(x, y), term.b12, term.z12);
  add(e(y, x), term.b12, term.z12);
  add(e(y, y), term.b22, term.z22);
}

void addEdgeTerms(const ElementEdges& edges, double omega, double h, double rho, ElementMatrix& e) {
  const double sqrtRho = std::sqrt(rho);
  addEdgeTerm(edges.t, Edge::t, omega, h, sqrtRho, e);
  addEdgeTerm(edges.b, Edge::b, omega, h, sqrtRho, e);
  if (edges.l) addEdgeTerm(*edges.l, Edge::l, omega, h, sqrtRho, e);
  if (edges.r) addEdgeTerm(*edges.r, Edge::r, omega, h, sqrtRho, e);
}

}  // namespace sw

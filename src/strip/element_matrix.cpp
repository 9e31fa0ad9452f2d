#include "strip/element_matrix.hpp"

#include <cmath>
#include <cstring>

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

/// The magnitudes of the numerators of kSxx, kSyy, kSxy (and of the sums of two kSxy
/// entries, never both nonzero), and the position of each in that list.
constexpr int kMagnitudes[5] = {0, 1620, 5040, 6660, 11700};
constexpr int magnitudeIndex(int n) {
  const int m = n < 0 ? -n : n;
  for (int k = 0; k < 5; ++k)
    if (kMagnitudes[k] == m) return k;
  return -1;
}

/// A numerator of the reference matrices as the position of its term among the terms of
/// the magnitudes and of their negations.
struct Numerator {
  int index;
};
constexpr Numerator numerator(int n) { return {2 * magnitudeIndex(n) + (n < 0 ? 1 : 0)}; }

/// The term (p n) / 5040 of a coefficient p (real and imaginary parts alike) for every
/// numerator n of the reference matrices, each product and division made once: the term
/// of -n is the negated term of n bit for bit (the product and the quotient of a negated
/// operand are the negated results), so only the magnitudes are formed.
class Terms {
 public:
  Terms() = default;
  /// From the terms of the nonzero magnitudes (kMagnitudes[1 ..]), re and im at `parts`
  /// with a stride of `stride`; the term of 0, (p 0) / 5040, is p 0 bit for bit (a signed
  /// zero, or the NaN of an infinite or NaN part, which the division keeps).
  Terms(Cx p, const double* parts, int stride) {
    t_[0] = Cx{p.re * 0.0, p.im * 0.0};
    t_[1] = -t_[0];
    for (int k = 1; k < 5; ++k) {
      t_[2 * k] = Cx{parts[(k - 1) * stride], parts[(k - 1) * stride + 1]};
      t_[2 * k + 1] = -t_[2 * k];
    }
  }
  Cx operator()(Numerator n) const { return t_[n.index]; }

 private:
  Cx t_[10];
};

/// The Terms of the six coefficients p11, p13, p15, p33, p35, p55: the products and
/// quotients of every nonzero magnitude over the twelve parts side by side (so that they
/// run as vector instructions), each part rounded as (part n) / 5040.
struct CoefficientTerms {
  Terms p11, p13, p15, p33, p35, p55;

  explicit CoefficientTerms(const ElementCoefficients& c) {
    const Cx p[6] = {c.p11, c.p13, c.p15, c.p33, c.p35, c.p55};
    // Three vectors of four parts: (p11, p13), (p15, p33), (p35, p55), re and im each.
    typedef double Four __attribute__((vector_size(4 * sizeof(double))));
    Four in[3];
    for (int v = 0; v < 3; ++v)
      in[v] = Four{p[2 * v].re, p[2 * v].im, p[2 * v + 1].re, p[2 * v + 1].im};
    double out[4][12];
    for (int k = 0; k < 4; ++k) {
      const double m = static_cast<double>(kMagnitudes[k + 1]);
      for (int v = 0; v < 3; ++v) {
        const Four t = (in[v] * m) / kDen;
        std::memcpy(&out[k][4 * v], &t, sizeof t);
      }
    }
    Terms* const t[6] = {&p11, &p13, &p15, &p33, &p35, &p55};
    for (int q = 0; q < 6; ++q) *t[q] = Terms(p[q], &out[0][2 * q], 12);
  }
};

/// The numerators of one entry pair (ee, ff) of the element matrix, resolved once.
struct EntryNumerators {
  Numerator sxx, syy, sxy, syx, sum;
  int massIndex;  ///< 0: 781, 1: 269, 2: -59
};

constexpr EntryNumerators entryNumerators(int ee, int ff) {
  const int m = kMref[ee][ff];
  return {numerator(kSxx[ee][ff]),
          numerator(kSyy[ee][ff]),
          numerator(kSxy[ee][ff]),
          numerator(kSxy[ff][ee]),
          numerator(kSxy[ee][ff] + kSxy[ff][ee]),
          m == 781 ? 0 : m == 269 ? 1 : 2};
}

struct EntryTable {
  EntryNumerators e[4][4];
};

constexpr EntryTable entryTable() {
  EntryTable t{};
  for (int ee = 0; ee < 4; ++ee)
    for (int ff = 0; ff < 4; ++ff) t.e[ee][ff] = entryNumerators(ee, ff);
  return t;
}

constexpr EntryTable kEntries = entryTable();

constexpr bool everyNumeratorHasATerm() {
  for (int ee = 0; ee < 4; ++ee)
    for (int ff = 0; ff < 4; ++ff) {
      const EntryNumerators& n = kEntries.e[ee][ff];
      for (const Numerator& k : {n.sxx, n.syy, n.sxy, n.syx, n.sum})
        if (k.index < 0) return false;
      const int m = kMref[ee][ff];
      if (m != 781 && m != 269 && m != -59) return false;
    }
  return true;
}
static_assert(everyNumeratorHasATerm(), "a numerator of the reference matrices without its term");

/// The stiffness and mass of an element of a perfectly matched layer: the terms of each
/// pair of derivatives scaled by the element's stretch factors.
void stretchedStiffnessMass(const ElementCoefficients& c, double omega, double h,
                            ElementMatrix& e, double damping) {
  // -(omega - i a)^2 rho h^2 sx sy.
  const Cx m0{-((omega * omega - damping * damping) * c.rho), (2.0 * omega * damping) * c.rho};
  const Cx mh = ((h * h) * m0) * c.fmass;
  for (int ee = 0; ee < 4; ++ee) {
    for (int ff = 0; ff < 4; ++ff) {
      const double sxx = static_cast<double>(kSxx[ee][ff]) / kDen;
      const double syy = static_cast<double>(kSyy[ee][ff]) / kDen;
      const double sxy = static_cast<double>(kSxy[ee][ff]) / kDen;
      const double syx = static_cast<double>(kSxy[ff][ee]) / kDen;
      const Cx mass = mh * (static_cast<double>(kMref[ee][ff]) / kDen);
      const Cx xx = (c.fxx * (c.p11 * sxx) + c.fyy * (c.p55 * syy)) + c.p15 * (sxy + syx) + mass;
      const Cx xy = (c.fxx * (c.p15 * sxx) + c.fyy * (c.p35 * syy)) + c.p13 * sxy + c.p55 * syx;
      const Cx yy = (c.fxx * (c.p55 * sxx) + c.fyy * (c.p33 * syy)) + c.p35 * (sxy + syx) + mass;
      const int ex = localUnknown(kEdges[ee], 1), ey = localUnknown(kEdges[ee], 2);
      const int fx = localUnknown(kEdges[ff], 1), fy = localUnknown(kEdges[ff], 2);
      e(ex, fx) = xx;
      e(ex, fy) = xy;
      e(fy, ex) = xy;
      e(ey, fy) = yy;
    }
  }
}

}  // namespace

void setStretch(ElementCoefficients& c, Cx sx, Cx sy) {
  const Cx one{1.0, 0.0};
  if (sx == one && sy == one) return;
  c.stretched = true;
  c.fxx = sy / sx;
  c.fyy = sx / sy;
  c.fmass = sx * sy;
}

ElementCoefficients elementCoefficients(const Medium& med, int i, int j) {
  ElementCoefficients c{med.p11(i, j), med.p13(i, j), med.p15(i, j), med.p33(i, j),
                        med.p35(i, j), med.p55(i, j), med.rho(i, j)};
  if (med.stretched()) setStretch(c, med.sx(i), med.sy(j));
  return c;
}

void elementStiffnessMass(const ElementCoefficients& c, double omega, double h, ElementMatrix& e,
                          double damping) {
  if (c.stretched) return stretchedStiffnessMass(c, omega, h, e, damping);
  const bool damped = damping != 0.0;
  // -(omega - i a)^2 rho = -(omega^2 - a^2) rho + i (2 omega a) rho.
  const double m0 = damped ? -((omega * omega - damping * damping) * c.rho)
                           : -(omega * omega * c.rho);
  const double mh = (h * h) * m0;
  const double mhi = damped ? (h * h) * ((2.0 * omega * damping) * c.rho) : 0.0;
  const CoefficientTerms terms(c);
  const Terms &p11 = terms.p11, &p13 = terms.p13, &p15 = terms.p15, &p33 = terms.p33,
              &p35 = terms.p35, &p55 = terms.p55;
  // The mass numerators 781, 269 and -59, each quotient formed once (as the terms).
  const double masses[3] = {(mh * 781.0) / kDen, (mh * 269.0) / kDen, -((mh * 59.0) / kDen)};
  const double massesIm[3] = {(mhi * 781.0) / kDen, (mhi * 269.0) / kDen,
                              -((mhi * 59.0) / kDen)};
  // Every term is kept, zero numerators included (they can decide the sign of a
  // zero), and summed left to right in the written order.
#pragma GCC unroll 4
  for (int ee = 0; ee < 4; ++ee) {
#pragma GCC unroll 4
    for (int ff = 0; ff < 4; ++ff) {
      const EntryNumerators& n = kEntries.e[ee][ff];
      const double mass = masses[n.massIndex];

      Cx xx = p11(n.sxx) + p55(n.syy) + p15(n.sum);
      xx.re = xx.re + mass;
      const Cx xy = p15(n.sxx) + p35(n.syy) + p13(n.sxy) + p55(n.syx);
      Cx yy = p55(n.sxx) + p33(n.syy) + p35(n.sum);
      yy.re = yy.re + mass;
      if (damped) {
        xx.im = xx.im + massesIm[n.massIndex];
        yy.im = yy.im + massesIm[n.massIndex];
      }

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
                 ElementMatrix& e, double damping) {
  const int x = localUnknown(edge, 1), y = localUnknown(edge, 2);
  const double open = 1.0 - term.d;
  const double absorb = (omega * term.d) * h;
  // i (omega - i a) d h z sqrt(rho): its real part a d h z sqrt(rho).
  const double absorbRe = (damping * term.d) * h;
  const bool damped = damping != 0.0;
  auto add = [&](Cx& entry, Cx beta, double z) {
    if (damped)
      entry.re = (entry.re + (absorbRe * z) * sqrtRho) + (open * beta.re) * h;
    else
      entry.re = entry.re + (open * beta.re) * h;
    entry.im = (entry.im + (absorb * z) * sqrtRho) + (open * beta.im) * h;
  };
  add(e(x, x), term.b11, term.z11);
  add(e(x, y), term.b12, term.z12);
  add(e(y, x), term.b12, term.z12);
  add(e(y, y), term.b22, term.z22);
}

void addEdgeTerms(const ElementEdges& edges, double omega, double h, double rho, ElementMatrix& e,
                  double damping) {
  const double sqrtRho = std::sqrt(rho);
  addEdgeTerm(edges.t, Edge::t, omega, h, sqrtRho, e, damping);
  addEdgeTerm(edges.b, Edge::b, omega, h, sqrtRho, e, damping);
  if (edges.l) addEdgeTerm(*edges.l, Edge::l, omega, h, sqrtRho, e, damping);
  if (edges.r) addEdgeTerm(*edges.r, Edge::r, omega, h, sqrtRho, e, damping);
}

}  // namespace sw

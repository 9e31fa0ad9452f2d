#include "strip/coeflu.hpp"

#include <bit>
#include <cmath>
#include <cstdint>

#include "strip/factor15.hpp"

namespace sw {

namespace {

/// Reference matrices over the edges (l, t, b, r), in units of 1/5040.
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

      e.e[2 * ee][2 * ff] = xx;
      e.e[2 * ee][2 * ff + 1] = xy;
      e.e[2 * ff + 1][2 * ee] = xy;  // the y-x block is the transpose of the x-y block
      e.e[2 * ee + 1][2 * ff + 1] = yy;
    }
  }
}

void addEdgeTerm(const EdgeTerm& term, Edge edge, double omega, double h, double sqrtRho,
                 ElementMatrix& e) {
  const int x = 2 * static_cast<int>(edge);
  const double open = 1.0 - term.d;
  const double absorb = (omega * term.d) * h;
  auto add = [&](Cx& entry, Cx beta, double z) {
    entry.re = entry.re + (open * beta.re) * h;
    entry.im = (entry.im + (absorb * z) * sqrtRho) + (open * beta.im) * h;
  };
  add(e.e[x][x], term.b11, term.z11);
  add(e.e[x][x + 1], term.b12, term.z12);
  add(e.e[x + 1][x], term.b12, term.z12);
  add(e.e[x + 1][x + 1], term.b22, term.z22);
}

void elementMatrix(const ElementCoefficients& c, double omega, double h, const EdgeTerm* l,
                   const EdgeTerm& t, const EdgeTerm& b, const EdgeTerm* r, ElementMatrix& e) {
  elementStiffnessMass(c, omega, h, e);
  const double sqrtRho = std::sqrt(c.rho);
  addEdgeTerm(t, Edge::t, omega, h, sqrtRho, e);
  addEdgeTerm(b, Edge::b, omega, h, sqrtRho, e);
  if (l != nullptr) addEdgeTerm(*l, Edge::l, omega, h, sqrtRho, e);
  if (r != nullptr) addEdgeTerm(*r, Edge::r, omega, h, sqrtRho, e);
}

namespace {

/// Element coefficients as raw bits, the key of the stiffness-and-mass memo.
struct CoefficientBits {
  std::uint64_t w[13];
  bool operator==(const CoefficientBits&) const = default;
};

CoefficientBits bitsOf(const ElementCoefficients& c) {
  const Cx* p[6] = {&c.p11, &c.p13, &c.p15, &c.p33, &c.p35, &c.p55};
  CoefficientBits k{};
  for (int q = 0; q < 6; ++q) {
    k.w[2 * q] = std::bit_cast<std::uint64_t>(p[q]->re);
    k.w[2 * q + 1] = std::bit_cast<std::uint64_t>(p[q]->im);
  }
  k.w[12] = std::bit_cast<std::uint64_t>(c.rho);
  return k;
}

/// The last few stiffness-and-mass matrices of a strip.  Neighbouring elements mostly
/// share their material, so most elements reuse a matrix instead of recomputing it;
/// the reused matrix is the one a fresh computation would give, bit for bit.
class BaseMemo {
 public:
  const ElementMatrix& get(const ElementCoefficients& c, double omega, double h) {
    const CoefficientBits key = bitsOf(c);
    for (int q = 0; q < kSize; ++q)
      if (used_[q] && keys_[q] == key) return mats_[q];
    const int q = next_;
    next_ = (next_ + 1) % kSize;
    keys_[q] = key;
    used_[q] = true;
    elementStiffnessMass(c, omega, h, mats_[q]);
    return mats_[q];
  }

 private:
  static constexpr int kSize = 4;
  CoefficientBits keys_[kSize] = {};
  bool used_[kSize] = {};
  ElementMatrix mats_[kSize];
  int next_ = 0;
};

inline EdgeTerm edgeTerm(double d, const Betas& beta, Grid<Cx> EdgeQuantity::*side, int i, int j,
                         const RootVectors& z, int k) {
  return EdgeTerm{d,
                  (beta.b11.*side)(i, j),
                  (beta.b12.*side)(i, j),
                  (beta.b22.*side)(i, j),
                  z.r11(k),
                  z.r12(k),
                  z.r22(k)};
}

}  // namespace

void assembleBand(int s, int nx, double omega, const Medium& med, const Betas& beta, double h,
                  const Indicators& del, const BoundaryRoots& roots, const Dofmap& dofmap,
                  BandMatrix& a) {
  const int n = stripUnknowns(nx);
  Cx* diag[16] = {};
  for (int j = 1; j <= 15; ++j) {
    diag[j] = a.diagonal(j);
    for (int i = 0; i < n; ++i) diag[j][i] = Cx{};
  }

  BaseMemo memo;
  ElementMatrix e;
  for (int i = 1; i <= nx; ++i) {
    const ElementCoefficients c{med.p11(i, s), med.p13(i, s), med.p15(i, s), med.p33(i, s),
                                med.p35(i, s), med.p55(i, s), med.rho(i, s)};
    e = memo.get(c, omega, h);
    const double sqrtRho = std::sqrt(c.rho);
    addEdgeTerm(edgeTerm(del.yt(s), beta, &EdgeQuantity::t, i, s, roots.yt, i), Edge::t, omega, h,
                sqrtRho, e);
    addEdgeTerm(edgeTerm(del.yb(s), beta, &EdgeQuantity::b, i, s, roots.yb, i), Edge::b, omega, h,
                sqrtRho, e);
    if (i == 1)
      addEdgeTerm(edgeTerm(del.xl(1), beta, &EdgeQuantity::l, 1, s, roots.xl, s), Edge::l, omega, h,
                  sqrtRho, e);
    if (i == nx)
      addEdgeTerm(edgeTerm(del.xr(nx), beta, &EdgeQuantity::r, nx, s, roots.xr, s), Edge::r, omega,
                  h, sqrtRho, e);

    // Scatter: a(I, 8 + J - I) += E(m, r); shared vertical-edge entries add up in
    // ascending element order.
    for (int m = 1; m <= 8; ++m) {
      const int row = dofmap(i, m);
      for (int r = 1; r <= 8; ++r) {
        const int col = dofmap(i, r);
        Cx& entry = diag[8 + col - row][row - 1];
        entry = entry + e(m, r);
      }
    }
  }

}

void coeflu(int s, int nx, double omega, const Medium& med, const Betas& beta, double h,
            const Indicators& del, const BoundaryRoots& roots, const Dofmap& dofmap,
            StripWork& work, StripFactors& f) {
  assembleBand(s, nx, omega, med, beta, h, del, roots, dofmap, work.a);
  factor15(nx, s, work.a, f);
}

}  // namespace sw

#include "strip/assemble_strip.hpp"

#include <bit>
#include <cmath>
#include <cstdint>

#include "core/check.hpp"
#include "strip/element_matrix.hpp"
#include "strip/factor_strip.hpp"

namespace sw {

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
class StiffnessMassMemo {
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

/// The edge term of side `side` of element (i, s) with indicator d, the element's
/// interface parameters on that side and entry k of the boundary roots z.
struct EdgeAt {
  Edge side;
  int i, s;
  const RootVectors& z;
  int k;
};

EdgeTerm edgeTerm(double d, const InterfaceParameters& beta, const EdgeAt& at) {
  const Edge e = at.side;
  return EdgeTerm{d,
                  beta.b11[e](at.i, at.s),
                  beta.b12[e](at.i, at.s),
                  beta.b22[e](at.i, at.s),
                  at.z.r11(at.k),
                  at.z.r12(at.k),
                  at.z.r22(at.k)};
}

}  // namespace

void assembleStrip(int s, const StripSystem& sys, StripWork& work, StripFactors& f) {
  SW_CHECK(s >= 1 && s <= sys.ny && f.nx() == sys.nx && work.a.rows() == stripUnknowns(sys.nx),
           "strip of the grid, factors and work storage of its size");
  const int nx = sys.nx;
  const Medium& med = sys.med;
  const BoundaryIndicators& del = sys.del;
  const BoundaryRoots& roots = sys.roots;
  const int n = stripUnknowns(nx);
  BandMatrix& a = work.a;
  Cx* diag[16] = {};
  for (int j = 1; j <= 15; ++j) {
    diag[j] = a.diagonal(j);
    for (int i = 0; i < n; ++i) diag[j][i] = Cx{};
  }

  StiffnessMassMemo memo;
  ElementMatrix e;
  for (int i = 1; i <= nx; ++i) {
    const ElementCoefficients c{med.p11(i, s), med.p13(i, s), med.p15(i, s), med.p33(i, s),
                                med.p35(i, s), med.p55(i, s), med.rho(i, s)};
    e = memo.get(c, sys.omega, sys.h);
    ElementEdges edges{edgeTerm(del.yt(s), sys.beta, {Edge::t, i, s, roots.yt, i}),
                       edgeTerm(del.yb(s), sys.beta, {Edge::b, i, s, roots.yb, i}),
                       {},
                       {}};
    if (i == 1) edges.l = edgeTerm(del.xl(1), sys.beta, {Edge::l, 1, s, roots.xl, s});
    if (i == nx) edges.r = edgeTerm(del.xr(nx), sys.beta, {Edge::r, nx, s, roots.xr, s});
    addEdgeTerms(edges, sys.omega, sys.h, c.rho, e);

    // Scatter: a(I, 8 + J - I) += E(m, r); shared vertical-edge entries add up in
    // ascending element order.
    for (int m = 1; m <= kElementUnknowns; ++m) {
      const int row = stripUnknown(i, m);
      for (int q = 1; q <= kElementUnknowns; ++q) {
        const int col = stripUnknown(i, q);
        Cx& entry = diag[8 + col - row][row - 1];
        entry = entry + e(m, q);
      }
    }
  }

  factorStrip(s, a, f);
}

}  // namespace sw

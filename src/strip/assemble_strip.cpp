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
  std::uint64_t w[19];
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
  // The stretch factors of a layer's element (1 elsewhere) are part of its matrix.
  const Cx* f[3] = {&c.fxx, &c.fyy, &c.fmass};
  for (int q = 0; q < 3; ++q) {
    k.w[13 + 2 * q] = std::bit_cast<std::uint64_t>(f[q]->re);
    k.w[14 + 2 * q] = std::bit_cast<std::uint64_t>(f[q]->im);
  }
  return k;
}

/// The last few stiffness-and-mass matrices of a strip.  Neighbouring elements mostly
/// share their material, so most elements reuse a matrix instead of recomputing it;
/// the reused matrix is the one a fresh computation would give, bit for bit.
class StiffnessMassMemo {
 public:
  const ElementMatrix& get(const ElementCoefficients& c, double omega, double h, double damping) {
    const CoefficientBits key = bitsOf(c);
    for (int q = 0; q < kSize; ++q)
      if (used_[q] && keys_[q] == key) return mats_[q];
    const int q = next_;
    next_ = (next_ + 1) % kSize;
    keys_[q] = key;
    used_[q] = true;
    elementStiffnessMass(c, omega, h, mats_[q], damping);
    return mats_[q];
  }

 private:
  static constexpr int kSize = 4;
  CoefficientBits keys_[kSize] = {};
  bool used_[kSize] = {};
  ElementMatrix mats_[kSize];
  int next_ = 0;
};

/// The edge term of one side of an element: indicator d, the interface parameters b of
/// that side and entry k of the boundary roots z.
EdgeTerm edgeTerm(double d, const EdgeParameters& b, const RootVectors& z, int k) {
  return EdgeTerm{d, b.b11, b.b12, b.b22, z.r11(k), z.r12(k), z.r22(k)};
}

EdgeParameters sideOf(const InterfaceParameters& beta, Edge side, int i, int j) {
  return {beta.b11[side](i, j), beta.b12[side](i, j), beta.b22[side](i, j)};
}

}  // namespace

void stripEdgeParameters(int s, const StripSystem& sys, StripEdgeParameters& p) {
  const std::size_t nx = static_cast<std::size_t>(sys.nx);
  p.t.resize(nx);
  p.b.resize(nx);
  for (int i = 1; i <= sys.nx; ++i) {
    p.t[static_cast<std::size_t>(i - 1)] = sideOf(sys.beta, Edge::t, i, s);
    p.b[static_cast<std::size_t>(i - 1)] = sideOf(sys.beta, Edge::b, i, s);
  }
  p.l = sideOf(sys.beta, Edge::l, 1, s);
  p.r = sideOf(sys.beta, Edge::r, sys.nx, s);
}

void assembleStripMatrix(int s, const StripSystem& sys, const StripEdgeParameters& beta,
                         BandMatrix& a) {
  SW_CHECK(s >= 1 && s <= sys.ny && a.rows() == stripUnknowns(sys.nx) &&
               beta.t.size() == static_cast<std::size_t>(sys.nx) && beta.b.size() == beta.t.size(),
           "strip of the grid, band and parameters of its size");
  const int nx = sys.nx;
  const Medium& med = sys.med;
  const BoundaryIndicators& del = sys.del;
  const BoundaryRoots& roots = sys.roots;
  Cx* diag[16] = {};
  for (int j = 1; j <= 15; ++j) diag[j] = a.diagonal(j);

  StiffnessMassMemo memo;
  ElementMatrix e;
  for (int i = 1; i <= nx; ++i) {
    const ElementCoefficients c = elementCoefficients(med, i, s);
    e = memo.get(c, sys.omega, sys.h, sys.damping);
    const std::size_t at = static_cast<std::size_t>(i - 1);
    ElementEdges edges{edgeTerm(del.yt(s), beta.t[at], roots.yt, i),
                       edgeTerm(del.yb(s), beta.b[at], roots.yb, i),
                       {},
                       {}};
    if (i == 1) edges.l = edgeTerm(del.xl(1), beta.l, roots.xl, s);
    if (i == nx) edges.r = edgeTerm(del.xr(nx), beta.r, roots.xr, s);
    addEdgeTerms(edges, sys.omega, sys.h, c.rho, e, sys.damping);

    // Scatter: a(I, 8 + J - I) = 0 + E(m, r), as added to a cleared matrix; the entries
    // of the vertical edge element i shares with element i-1 (its l pair with itself)
    // add up in ascending element order.  Nothing else is written: the entries outside
    // the element blocks keep their zeros and are never read.
    for (int m = 1; m <= kElementUnknowns; ++m) {
      const int row = stripUnknown(i, m);
      for (int q = 1; q <= kElementUnknowns; ++q) {
        const int col = stripUnknown(i, q);
        const bool shared = i > 1 && m <= 2 && q <= 2;
        Cx& entry = diag[8 + col - row][row - 1];
        entry = (shared ? entry : Cx{}) + e(m, q);
      }
    }
  }

}

void assembleStrip(int s, const StripSystem& sys, StripWork& work, StripFactors& f) {
  SW_CHECK(f.nx() == sys.nx && work.a.rows() == stripUnknowns(sys.nx),
           "factors and work storage of the strip's size");
  thread_local StripEdgeParameters beta;
  stripEdgeParameters(s, sys, beta);
  assembleStripMatrix(s, sys, beta, work.a);
  factorStrip(s, work.a, f);
}

}  // namespace sw

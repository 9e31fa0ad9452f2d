#include "support/dense_whole_grid.hpp"

#include <cmath>
#include <utility>

#include "coupling/edge_fields.hpp"
#include "coupling/strip_displacements.hpp"
#include "strip/element_matrix.hpp"
#include "strip/numbering.hpp"

namespace sw::test {

DenseSystem denseWholeGrid(const StripSystem& sys, const PointSource& src) {
  const int nx = sys.nx, ny = sys.ny;
  const Medium& med = sys.med;
  const BoundaryRoots& roots = sys.roots;
  const EdgeNumbering num{nx, ny};
  DenseSystem d;
  d.n = num.size();
  const int n = d.n;
  d.a.assign(static_cast<std::size_t>(n) * n, cd{});
  d.b.assign(n, cd{});
  for (int j = 1; j <= ny; ++j)
    for (int i = 1; i <= nx; ++i) {
      // With the stretches of a matched layer where the medium has them.
      const ElementCoefficients c = elementCoefficients(med, i, j);
      ElementMatrix e;
      elementStiffnessMass(c, sys.omega, sys.h, e);
      const double sqrtRho = std::sqrt(med.rho(i, j));
      auto absorbing = [&](const RootVectors& r, int at, Edge edge) {
        EdgeTerm t;
        t.d = 1.0;
        t.z11 = r.r11(at);
        t.z12 = r.r12(at);
        t.z22 = r.r22(at);
        addEdgeTerm(t, edge, sys.omega, sys.h, sqrtRho, e);
      };
      if (i == 1) absorbing(roots.xl, j, Edge::l);
      if (i == nx) absorbing(roots.xr, j, Edge::r);
      if (j == 1) absorbing(roots.yb, i, Edge::b);
      if (j == ny) absorbing(roots.yt, i, Edge::t);
      for (int m = 1; m <= 8; ++m)
        for (int r = 1; r <= 8; ++r)
          d.a[static_cast<std::size_t>(num.local(i, j, m)) * n + num.local(i, j, r)] +=
              cd(e(m, r).re, e(m, r).im);
    }

  // The source: the right-hand side of the source strip with no transmission data.
  if (src.ksou < 1 || src.ksou > ny) return d;
  const EdgeFields zero(nx, ny);
  std::vector<Cx> rhs(static_cast<std::size_t>(stripUnknowns(nx)) + 1);
  stripRightHandSide(src.ksou, sys, src, zero, rhs.data());
  for (int i = 1; i <= nx; ++i)
    for (int m = i == 1 ? 1 : 3; m <= 8; ++m) {  // the left pair of i > 1 is i-1's right pair
      const Cx v = rhs[stripUnknown(i, m)];
      d.b[num.local(i, src.ksou, m)] += cd(v.re, v.im);
    }
  return d;
}

std::vector<cd> denseOf(const WholeGridMatrix& a) {
  const std::size_t n = static_cast<std::size_t>(a.order());
  std::vector<cd> d(n * n);
  for (std::size_t k = 0; k < a.values().size(); ++k) {
    const std::size_t r = static_cast<std::size_t>(a.rows()[k] - 1);
    const std::size_t c = static_cast<std::size_t>(a.columns()[k] - 1);
    const cd v(a.values()[k].re, a.values()[k].im);
    d[r * n + c] += v;
    if (r != c) d[c * n + r] += v;
  }
  return d;
}

void denseSolve(std::vector<cd>& a, std::vector<cd>& b, int n) {
  for (int k = 0; k < n; ++k) {
    int p = k;
    for (int i = k + 1; i < n; ++i)
      if (std::abs(a[i * n + k]) > std::abs(a[p * n + k])) p = i;
    if (p != k) {
      for (int j = 0; j < n; ++j) std::swap(a[k * n + j], a[p * n + j]);
      std::swap(b[k], b[p]);
    }
    for (int i = k + 1; i < n; ++i) {
      const cd f = a[i * n + k] / a[k * n + k];
      for (int j = k; j < n; ++j) a[i * n + j] -= f * a[k * n + j];
      b[i] -= f * b[k];
    }
  }
  for (int i = n - 1; i >= 0; --i) {
    cd s = b[i];
    for (int j = i + 1; j < n; ++j) s -= a[i * n + j] * b[j];
    b[i] = s / a[i * n + i];
  }
}

}  // namespace sw::test

#include "solvers/whole_grid.hpp"

#include <cmath>
#include <cstddef>
#include <limits>

#include "core/check.hpp"
#include "coupling/strip_displacements.hpp"
#include "strip/element_matrix.hpp"

namespace sw {

namespace {

/// The local pairs (m, r), m >= r, of an element's lower triangle, in the order of the
/// coordinate entries.
struct TrianglePairs {
  int m[kElementTriangle], r[kElementTriangle];
  constexpr TrianglePairs() : m{}, r{} {
    int k = 0;
    for (int a = 1; a <= kElementUnknowns; ++a)
      for (int b = 1; b <= a; ++b) {
        m[k] = a;
        r[k] = b;
        ++k;
      }
  }
};
constexpr TrianglePairs kPairs;

std::size_t firstEntry(int nx, int i, int j) {
  return kElementTriangle * (static_cast<std::size_t>(i - 1) +
                             static_cast<std::size_t>(nx) * static_cast<std::size_t>(j - 1));
}

/// Adds the absorbing term of edge `edge` (indicator d, root r at position `at`).
void addAbsorbing(double d, const RootVectors& r, int at, Edge edge, double omega, double h,
                  double sqrtRho, ElementMatrix& e, double damping) {
  EdgeTerm t;
  t.d = d;
  t.z11 = r.r11(at);
  t.z12 = r.r12(at);
  t.z22 = r.r22(at);
  addEdgeTerm(t, edge, omega, h, sqrtRho, e, damping);
}

/// Takes the interface parameters and drops them: only the roots are kept.
class DropParameters : public EdgeParameterSink {
 public:
  void vertical(int, int, const EdgeParameters&) override {}
  void horizontal(int, int, const EdgeParameters&) override {}
};

}  // namespace

void setWholeGridFrequency(StripSystem& sys, int jw, double omega, const MaterialModel& model,
                           int threads) {
  sys.setMedium(jw, omega, model, threads);
  DropParameters drop;
  interfaceParameters(omega, sys.med, drop, sys.roots, threads);
}

bool wholeGridFits(int nx, int ny) {
  const WholeGridNumbering num{nx, ny};
  return nx >= 1 && ny >= 1 && num.size() <= std::numeric_limits<int>::max();
}

WholeGridMatrix::WholeGridMatrix(int nx, int ny) : num_{nx, ny} {
  SW_CHECK(wholeGridFits(nx, ny), "whole grid of 32-bit indices");
  const std::size_t n = kElementTriangle * static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny);
  rows_.resize(n);
  cols_.resize(n);
  values_.resize(n);
  for (int j = 1; j <= ny; ++j)
    for (int i = 1; i <= nx; ++i) {
      const std::size_t at = firstEntry(nx, i, j);
      for (int k = 0; k < kElementTriangle; ++k) {
        const int a = static_cast<int>(num_.local(i, j, kPairs.m[k])) + 1;
        const int b = static_cast<int>(num_.local(i, j, kPairs.r[k])) + 1;
        rows_[at + k] = a >= b ? a : b;
        cols_[at + k] = a >= b ? b : a;
      }
    }
}

void WholeGridMatrix::assemble(const StripSystem& sys, int threads) {
  const int nx = num_.nx, ny = num_.ny;
  SW_CHECK(sys.nx == nx && sys.ny == ny && sys.med.nx() == nx && sys.med.ny() == ny,
           "system of the matrix's grid");
  const Medium& med = sys.med;
  const BoundaryIndicators& del = sys.del;
  const BoundaryRoots& roots = sys.roots;
  const double omega = sys.omega, h = sys.h, a = sys.damping;
  // Each element writes only its own entries.
#pragma omp parallel for schedule(static) num_threads(threads > 0 ? threads : 1)
  for (int j = 1; j <= ny; ++j)
    for (int i = 1; i <= nx; ++i) {
      const ElementCoefficients c = elementCoefficients(med, i, j);
      ElementMatrix e;
      elementStiffnessMass(c, omega, h, e, a);
      const double sqrtRho = std::sqrt(med.rho(i, j));
      if (del.xl(i) != 0.0) addAbsorbing(del.xl(i), roots.xl, j, Edge::l, omega, h, sqrtRho, e, a);
      if (del.xr(i) != 0.0) addAbsorbing(del.xr(i), roots.xr, j, Edge::r, omega, h, sqrtRho, e, a);
      if (del.yb(j) != 0.0) addAbsorbing(del.yb(j), roots.yb, i, Edge::b, omega, h, sqrtRho, e, a);
      if (del.yt(j) != 0.0) addAbsorbing(del.yt(j), roots.yt, i, Edge::t, omega, h, sqrtRho, e, a);
      Cx* v = values_.data() + firstEntry(nx, i, j);
      for (int k = 0; k < kElementTriangle; ++k) v[k] = e(kPairs.m[k], kPairs.r[k]);
    }
}

void WholeGridMatrix::multiply(const Cx* x, Cx* y) const {
  const int n = order();
  for (int k = 0; k < n; ++k) y[k] = Cx{};
  const std::size_t entries = values_.size();
  for (std::size_t k = 0; k < entries; ++k) {
    const int r = rows_[k] - 1, c = cols_[k] - 1;
    y[r] += values_[k] * x[c];
    if (r != c) y[c] += values_[k] * x[r];
  }
}

void wholeGridRightHandSide(const WholeGridNumbering& num, double h, const PointSource& src,
                            Cx* b) {
  const std::int64_t n = num.size();
  for (std::int64_t k = 0; k < n; ++k) b[k] = Cx{};
  if (src.jsou < 1 || src.jsou > num.nx || src.ksou < 1 || src.ksou > num.ny) return;
  Cx r[kElementUnknowns + 1];  // local entries 1 .. 8
  addSource(src.kdel, src.value, h, r);
  for (int m = 1; m <= kElementUnknowns; ++m) b[num.local(src.jsou, src.ksou, m)] += r[m];
}

void wholeGridToEdgeFields(const WholeGridNumbering& num, const Cx* x, EdgeFields& f) {
  SW_CHECK(f.nx() == num.nx && f.ny() == num.ny, "fields of the numbering's grid");
  for (int j = 1; j <= num.ny; ++j)
    for (int i = 1; i <= num.nx; ++i)
      for (const Edge e : kEdges) {
        const std::int64_t at = num.local(i, j, localUnknown(e, 1));
        f.u1[e](i, j) = x[at];
        f.u2[e](i, j) = x[at + 1];
        f.lag1[e](i, j) = Cx{};
        f.lag2[e](i, j) = Cx{};
      }
}

double relativeResidual(const WholeGridMatrix& a, const Cx* x, const Cx* b, Cx* work) {
  a.multiply(x, work);
  double rr = 0.0, bb = 0.0;
  const int n = a.order();
  for (int k = 0; k < n; ++k) {
    const Cx d = work[k] - b[k];
    rr += d.re * d.re + d.im * d.im;
    bb += b[k].re * b[k].re + b[k].im * b[k].im;
  }
  return bb > 0.0 ? std::sqrt(rr / bb) : std::sqrt(rr);
}

}  // namespace sw

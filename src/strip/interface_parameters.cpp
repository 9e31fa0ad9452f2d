#include "strip/interface_parameters.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

#include "core/check.hpp"
#include "strip/matrix_sqrt.hpp"

namespace sw {

namespace {

/// Finaliser of a 64-bit hash: every input bit reaches the low bits of the result
/// (stiffness values are often round numbers whose low mantissa bits are all zero).
inline std::uint64_t mix64(std::uint64_t x) {
  x ^= x >> 30;
  x *= 0xBF58476D1CE4E5B9ull;
  x ^= x >> 27;
  x *= 0x94D049BB133111EBull;
  x ^= x >> 31;
  return x;
}

}  // namespace

Root2 RootCache::root(double a11, double a12, double a22) {
  if (closedForm_) {
    Root2 r;
    symmetricRoot2(a11, a12, a22, r.r11, r.r12, r.r22);
    return r;
  }
  const auto k11 = std::bit_cast<std::uint64_t>(a11);
  const auto k12 = std::bit_cast<std::uint64_t>(a12);
  const auto k22 = std::bit_cast<std::uint64_t>(a22);
  const std::uint64_t hash = mix64(mix64(mix64(k11) ^ k12) ^ k22);
  const int home = static_cast<int>(hash % kSlots);

  // Linear probing over a few slots; when all of them hold other matrices the home
  // slot is replaced.
  Slot* target = &slots_[home];
  for (int probe = 0; probe < kProbes; ++probe) {
    Slot& slot = slots_[(home + probe) % kSlots];
    if (!slot.used) {
      target = &slot;
      break;
    }
    if (slot.k11 == k11 && slot.k12 == k12 && slot.k22 == k22) return slot.r;
  }

  const double a[4] = {a11, a12, a12, a22};
  double x[4];
  matrixSqrt(2, a, x);
  *target = Slot{true, k11, k12, k22, Root2{x[0], x[1], x[3]}};
  return target->r;
}

namespace {

/// Root of the element's normal stiffness for an edge with normal along x.
inline Root2 rootX(RootCache& cache, const Medium& med, int i, int j) {
  return cache.root(med.p11(i, j).re, med.p15(i, j).re, med.p55(i, j).re);
}

/// Root of the element's normal stiffness for an edge with normal along y.
inline Root2 rootY(RootCache& cache, const Medium& med, int i, int j) {
  return cache.root(med.p55(i, j).re, med.p35(i, j).re, med.p33(i, j).re);
}

/// beta of the edge between elements with roots ra, rb and square roots of density sa,
/// sb: purely imaginary (Ra + Rb) s omega, each product formed left to right.
inline EdgeParameters edgeBeta(const Root2& ra, const Root2& rb, double sa, double sb,
                               double omega) {
  const double s = ((sa + sb) * 0.5) * 0.5;
  return {Cx{0.0, (ra.r11 + rb.r11) * s * omega}, Cx{0.0, (ra.r12 + rb.r12) * s * omega},
          Cx{0.0, (ra.r22 + rb.r22) * s * omega}};
}

/// The parameters b of an edge of a matched layer's medium scaled by the stretches of its
/// elements: by sx sy at each element, their mean over the two (the column's sx times the
/// mean sy of the rows of a horizontal edge, the row's sy times the mean sx of the columns
/// of a vertical one), as the mass rho sx sy is; outside the layer both stretches are 1.
/// Of the factors tried (1, the stretch along the edge alone, sx sy
/// times 0.5 and 2, its conjugate), GMRES on the carried state reduced the change fastest
/// with this one, on the homogeneous example with a layer of 20.  A fluid's edges have no
/// shear parameter (b11 of a horizontal edge, b22 of a vertical one, is zero), and there
/// the exchange of the tangential data neither damps nor lets GMRES converge (a sea in
/// the top layer stalled it): a zero diagonal entry takes the other one, on every edge of
/// such a medium.  The fixed point does not depend on the parameters.
inline EdgeParameters stretchedBeta(EdgeParameters b, Cx along, Cx across0, Cx across1) {
  const Cx one{1.0, 0.0};
  const Cx zero{0.0, 0.0};
  if (b.b11 == zero) b.b11 = b.b22;
  if (b.b22 == zero) b.b22 = b.b11;
  if (along == one && across0 == one && across1 == one) return b;
  const Cx f = along * ((across0 + across1) * 0.5);
  return {b.b11 * f, b.b12 * f, b.b22 * f};
}

/// Stores v on side `side` of element (i, j).
inline void putBeta(InterfaceParameters& beta, Edge side, int i, int j, const EdgeParameters& v) {
  beta.b11[side](i, j) = v.b11;
  beta.b12[side](i, j) = v.b12;
  beta.b22[side](i, j) = v.b22;
}

/// Both sides of every interior edge into the arrays of `beta`.
class StoreBoth : public EdgeParameterSink {
 public:
  explicit StoreBoth(InterfaceParameters& beta) : beta_(beta) {}
  void vertical(int i, int j, const EdgeParameters& v) override {
    putBeta(beta_, Edge::r, i - 1, j, v);
    putBeta(beta_, Edge::l, i, j, v);
  }
  void horizontal(int i, int j, const EdgeParameters& v) override {
    putBeta(beta_, Edge::t, i, j - 1, v);
    putBeta(beta_, Edge::b, i, j, v);
  }

 private:
  InterfaceParameters& beta_;
};

inline void setRoot(RootVectors& v, int k, const Root2& r) {
  v.r11(k) = r.r11;
  v.r12(k) = r.r12;
  v.r22(k) = r.r22;
}

}  // namespace

void interfaceParameters(double omega, const Medium& med, EdgeParameterSink& sink,
                         BoundaryRoots& roots, int threads) {
  const int nx = med.rho.nx(), ny = med.rho.ny();
  SW_CHECK(roots.xl.r11.size() >= ny && roots.yb.r11.size() >= nx,
           "boundary roots of the medium's grid");
  // Rows are shared out in whole blocks of kRowBlock, each thread a run of blocks.
  const int blocks = (ny + kRowBlock - 1) / kRowBlock;
  const int parts = std::max(1, std::min(threads, blocks));
  const bool stretched = med.stretched();

#pragma omp parallel for schedule(static, 1) num_threads(parts)
  for (int part = 0; part < parts; ++part) {
    const int first = part * blocks / parts * kRowBlock + 1;
    const int last = std::min(ny, (part + 1) * blocks / parts * kRowBlock);
    // Each element's roots are computed once (through the memo) and shared by its four
    // edges; both sides of an edge get the same value, since (Ra + Rb) and
    // (sqrt(rho P) + sqrt(rho Q)) do not depend on the order of the two elements.  A
    // run that starts above the first row begins with the roots of the row below it.
    RootCache cache(med.closedFormRoots);
    struct Below {
      Root2 ry;
      double sr;
    };
    std::vector<Below> below(static_cast<std::size_t>(nx) + 1);
    if (first > 1)
      for (int i = 1; i <= nx; ++i)
        below[static_cast<std::size_t>(i)] =
            Below{rootY(cache, med, i, first - 1), std::sqrt(med.rho(i, first - 1))};

    for (int j = first; j <= last; ++j) {
      Root2 leftRx;
      double leftSr = 0.0;
      for (int i = 1; i <= nx; ++i) {
        const Root2 rx = rootX(cache, med, i, j);
        const Root2 ry = rootY(cache, med, i, j);
        const double sr = std::sqrt(med.rho(i, j));

        if (i == 1) setRoot(roots.xl, j, rx);
        if (i == nx) setRoot(roots.xr, j, rx);
        if (j == 1) setRoot(roots.yb, i, ry);
        if (j == ny) setRoot(roots.yt, i, roots.tractionFreeTop ? Root2{} : ry);

        if (i > 1) {  // vertical edge: r side of (i-1, j), l side of (i, j)
          const EdgeParameters b = edgeBeta(leftRx, rx, leftSr, sr, omega);
          sink.vertical(i, j, stretched ? stretchedBeta(b, med.sy(j), med.sx(i - 1), med.sx(i)) : b);
        }
        if (j > 1) {  // horizontal edge: t side of (i, j-1), b side of (i, j)
          const Below& lo = below[static_cast<std::size_t>(i)];
          const EdgeParameters b = edgeBeta(lo.ry, ry, lo.sr, sr, omega);
          sink.horizontal(i, j,
                          stretched ? stretchedBeta(b, med.sx(i), med.sy(j - 1), med.sy(j)) : b);
        }
        leftRx = rx;
        leftSr = sr;
        below[static_cast<std::size_t>(i)] = Below{ry, sr};
      }
    }
  }
}

void interfaceParameters(double omega, const Medium& med, InterfaceParameters& beta,
                         BoundaryRoots& roots, int threads) {
  SW_CHECK(beta.b11.l.nx() == med.rho.nx() && beta.b11.l.ny() == med.rho.ny(),
           "interface parameters of the medium's grid");
  StoreBoth both(beta);
  interfaceParameters(omega, med, both, roots, threads);
}

}  // namespace sw

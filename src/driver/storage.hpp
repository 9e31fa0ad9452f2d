#pragma once
/// Grid storage of a run: element coefficients, edge fields, interface parameters,
/// boundary vectors, the strip numbering and the output accumulators.  Everything is
/// sized to the run's nx, ny once, before the frequency loop, and starts at zero.

#include <array>
#include <cstddef>
#include <vector>

#include "driver/cx.hpp"
#include "driver/grid.hpp"

namespace sw {

/// Density and stiffness (Voigt notation, 1 = x, 3 = y, 5 = xy) of every element for
/// the current frequency.
struct Medium {
  Grid<double> rho;
  Grid<Cx> p11, p13, p15, p33, p35, p55;

  Medium() = default;
  Medium(int nx, int ny)
      : rho(nx, ny), p11(nx, ny), p13(nx, ny), p15(nx, ny), p33(nx, ny), p35(nx, ny), p55(nx, ny) {}
};

/// One complex quantity on the left, top, bottom and right edge of every element,
/// indexed by the element that owns the edge.
struct EdgeQuantity {
  Grid<Cx> l, t, b, r;

  EdgeQuantity() = default;
  EdgeQuantity(int nx, int ny) : l(nx, ny), t(nx, ny), b(nx, ny), r(nx, ny) {}
};

/// The sixteen edge arrays of one iterate: displacement components 1 (x) and 2 (y)
/// and the interface multipliers of both components.
struct EdgeFields {
  EdgeQuantity u1, u2, lag1, lag2;

  EdgeFields() = default;
  EdgeFields(int nx, int ny) : u1(nx, ny), u2(nx, ny), lag1(nx, ny), lag2(nx, ny) {}

  /// All sixteen arrays: u1, u2, lag1, lag2, each l, t, b, r.
  std::array<Grid<Cx>*, 16> arrays() {
    return {&u1.l,   &u1.t,   &u1.b,   &u1.r,   &u2.l,   &u2.t,   &u2.b,   &u2.r,
            &lag1.l, &lag1.t, &lag1.b, &lag1.r, &lag2.l, &lag2.t, &lag2.b, &lag2.r};
  }
  std::array<const Grid<Cx>*, 16> arrays() const {
    return {&u1.l,   &u1.t,   &u1.b,   &u1.r,   &u2.l,   &u2.t,   &u2.b,   &u2.r,
            &lag1.l, &lag1.t, &lag1.b, &lag1.r, &lag2.l, &lag2.t, &lag2.b, &lag2.r};
  }
  /// The eight displacement arrays: u1 l, t, b, r, then u2 l, t, b, r.
  std::array<const Grid<Cx>*, 8> displacements() const {
    return {&u1.l, &u1.t, &u1.b, &u1.r, &u2.l, &u2.t, &u2.b, &u2.r};
  }
};

/// Interface parameter of every edge: the symmetric 2x2 matrix (b11 b12; b12 b22).
/// Entries of outer-boundary edges stay zero.
struct Betas {
  EdgeQuantity b11, b12, b22;

  Betas() = default;
  Betas(int nx, int ny) : b11(nx, ny), b12(nx, ny), b22(nx, ny) {}
};

/// Entries of a real symmetric 2x2 matrix per position along one side of the boundary.
struct RootVectors {
  Vec1<double> r11, r12, r22;

  RootVectors() = default;
  explicit RootVectors(int n) : r11(n), r12(n), r22(n) {}
};

/// Square roots of the normal stiffness of the boundary elements, for the absorbing
/// terms: left and right sides indexed by j, bottom and top by i.
struct BoundaryRoots {
  RootVectors xl, xr, yb, yt;

  BoundaryRoots() = default;
  BoundaryRoots(int nx, int ny) : xl(ny), xr(ny), yb(nx), yt(nx) {}
};

/// Boundary indicators: 1 at the first/last element along x (xl, xr) and y (yb, yt).
struct Indicators {
  Vec1<double> xl, xr, yb, yt;

  Indicators() = default;
  Indicators(int nx, int ny) : xl(nx), xr(nx), yb(ny), yt(ny) {}
};

/// Strip unknown of local unknown m (1 .. 8) of the i-th element of a strip:
/// 6 (i - 1) + m, the same for every strip.
class Dofmap {
 public:
  Dofmap() = default;
  explicit Dofmap(int nx) : nx_(nx), v_(static_cast<std::size_t>(nx) * 8) {
    for (int i = 1; i <= nx; ++i)
      for (int m = 1; m <= 8; ++m) v_[index(i, m)] = 6 * (i - 1) + m;
  }
  int operator()(int i, int m) const { return v_[index(i, m)]; }
  int nx() const { return nx_; }

 private:
  std::size_t index(int i, int m) const {
    SW_ASSERT(i >= 1 && i <= nx_ && m >= 1 && m <= 8);
    return static_cast<std::size_t>(i - 1) + static_cast<std::size_t>(nx_) * (m - 1);
  }
  int nx_ = 0;
  std::vector<int> v_;
};

/// Snapshot accumulators tpic(i, j, k) for components 1 and 2, and the receiver
/// spectra fu(jw, r), both in 1-based indices.
struct Accumulators {
  int nx = 0, ny = 0, nsnapt = 0, nfreq = 0, nrec = 0;
  std::vector<double> tpic1, tpic2;
  std::vector<Cx> fu1, fu2;

  Accumulators() = default;
  Accumulators(int nx_, int ny_, int nsnapt_, int nfreq_, int nrec_)
      : nx(nx_),
        ny(ny_),
        nsnapt(nsnapt_),
        nfreq(nfreq_),
        nrec(nrec_),
        tpic1(static_cast<std::size_t>(nx_) * ny_ * nsnapt_),
        tpic2(static_cast<std::size_t>(nx_) * ny_ * nsnapt_),
        fu1(static_cast<std::size_t>(nfreq_) * nrec_),
        fu2(static_cast<std::size_t>(nfreq_) * nrec_) {}

  std::size_t snapIndex(int i, int j, int k) const {
    SW_ASSERT(i >= 1 && i <= nx && j >= 1 && j <= ny && k >= 1 && k <= nsnapt);
    return static_cast<std::size_t>(i - 1) +
           static_cast<std::size_t>(nx) *
               (static_cast<std::size_t>(j - 1) + static_cast<std::size_t>(ny) * (k - 1));
  }
  std::size_t traceIndex(int jw, int r) const {
    SW_ASSERT(jw >= 1 && jw <= nfreq && r >= 1 && r <= nrec);
    return static_cast<std::size_t>(jw - 1) + static_cast<std::size_t>(nfreq) * (r - 1);
  }
  double& tpic(int c, int i, int j, int k) { return (c == 1 ? tpic1 : tpic2)[snapIndex(i, j, k)]; }
  Cx& fu(int c, int jw, int r) { return (c == 1 ? fu1 : fu2)[traceIndex(jw, r)]; }
};

}  // namespace sw

#pragma once
/// Helpers shared by the strip tests: the element envelope, random strip matrices, a
/// plain reference factorisation written straight from the algorithm's description, and
/// random media.

#include <algorithm>
#include <vector>

#include "core/complex.hpp"
#include "model/medium.hpp"
#include "strip/band_matrix.hpp"
#include "strip/numbering.hpp"
#include "support/numbers.hpp"

namespace sw::test {

/// First unknown of the first element holding unknown i.
inline int envStart(int i) {
  const int g = (i - 1) / 6, t = (i - 1) % 6 + 1;
  return (t <= 2 && g >= 1) ? 6 * (g - 1) + 1 : 6 * g + 1;
}
/// Last unknown of the last element holding unknown i.
inline int envEnd(int i, int n) { return std::min(stripUnknowns(n), 6 * ((i - 1) / 6) + 8); }
/// True when A(i, k) lies inside the element envelope of a strip of n elements.
inline bool inEnvelope(int i, int k, int n) {
  const int nn = stripUnknowns(n);
  return i >= 1 && i <= nn && k >= 1 && k <= nn && k >= envStart(i) && k <= envEnd(i, n);
}

/// A(i, k) read from band storage.
inline Cx bandAt(const BandMatrix& a, int i, int k) { return a(i, 8 + k - i); }

/// Random strip matrix: random complex entries in the envelope, the diagonal made
/// dominant, every other stored position zero.
inline BandMatrix randomStrip(int n, Random& rnd) {
  BandMatrix a(n);
  const int nn = stripUnknowns(n);
  for (int i = 1; i <= nn; ++i)
    for (int k = envStart(i); k <= envEnd(i, n); ++k) a(i, 8 + k - i) = rnd.cx(-1.0, 1.0);
  for (int i = 1; i <= nn; ++i) a(i, 8) = a(i, 8) + Cx{20.0, 5.0};
  return a;
}

/// y = A x in band storage, x and y 1-based.
inline std::vector<Cx> bandTimes(const BandMatrix& a, int n, const std::vector<Cx>& x) {
  const int nn = stripUnknowns(n);
  std::vector<Cx> y(static_cast<std::size_t>(nn) + 1);
  for (int i = 1; i <= nn; ++i) {
    Cx s{};
    for (int k = envStart(i); k <= envEnd(i, n); ++k) s = s + bandAt(a, i, k) * x[k];
    y[i] = s;
  }
  return y;
}

/// Reference LU of a strip, straight from the envelope formulas (no group structure):
/// L(i, k) = lower[i][i - k], U(k, i) = upper[k][i - k].
struct ReferenceLu {
  int n = 0;
  std::vector<Cx> lower, upper;  // (N + 1) x 8

  Cx& l(int i, int k) { return lower[static_cast<std::size_t>(i) * 8 + (i - k)]; }
  Cx& u(int k, int i) { return upper[static_cast<std::size_t>(k) * 8 + (i - k)]; }

  ReferenceLu(const BandMatrix& a, int n_) : n(n_) {
    const int nn = stripUnknowns(n);
    lower.assign(static_cast<std::size_t>(nn + 1) * 8, Cx{});
    upper.assign(static_cast<std::size_t>(nn + 1) * 8, Cx{});
    for (int k = 1; k <= nn; ++k) {
      for (int i = k; i <= envEnd(k, n); ++i) {
        Cx w = bandAt(a, i, k);
        for (int j = envStart(i); j <= k - 1; ++j) w -= l(i, j) * u(j, k);
        l(i, k) = w;
      }
      for (int i = k + 1; i <= envEnd(k, n); ++i) {
        Cx w = bandAt(a, k, i);
        for (int j = envStart(i); j <= k - 1; ++j) w -= l(k, j) * u(j, i);
        u(k, i) = w / l(k, k);
      }
    }
  }

  /// Forward (nearest term first) and back substitution.
  std::vector<Cx> solve(const std::vector<Cx>& rhs) {
    const int nn = stripUnknowns(n);
    std::vector<Cx> y(static_cast<std::size_t>(nn) + 1), x(static_cast<std::size_t>(nn) + 1);
    for (int i = 1; i <= nn; ++i) {
      Cx w = rhs[i];
      for (int j = i - 1; j >= envStart(i); --j) w -= l(i, j) * y[j];
      y[i] = w / l(i, i);
    }
    for (int i = nn; i >= 1; --i) {
      Cx w = y[i];
      for (int k = i + 1; k <= envEnd(i, n); ++k) w -= u(i, k) * x[k];
      x[i] = w;
    }
    return x;
  }
};

/// One material: density and the six stiffness coefficients.
struct Material {
  double rho;
  Cx p11, p13, p15, p33, p35, p55;
};

/// Isotropic material with P-wave modulus pm and shear modulus g (real).
inline Material isotropic(double rho, double pm, double g) {
  return {rho, Cx{pm, 0.0}, Cx{pm - 2 * g, 0.0}, Cx{}, Cx{pm, 0.0}, Cx{}, Cx{g, 0.0}};
}

/// Anisotropic material with random stiffness of order 1e10 (positive definite normal
/// stiffness) and a complex part, for the bit-for-bit comparisons.
inline Material randomMaterial(Random& rnd) {
  const double p11 = rnd.uniform(1e10, 3e10), p33 = rnd.uniform(1e10, 3e10);
  const double p55 = rnd.uniform(3e9, 8e9);
  return {rnd.uniform(1500.0, 3000.0),    Cx{p11, rnd.uniform(1e8, 1e9)},
          Cx{rnd.uniform(1e9, 5e9), 1e7}, Cx{rnd.uniform(-1e9, 1e9), 0.0},
          Cx{p33, rnd.uniform(1e8, 1e9)}, Cx{rnd.uniform(-1e9, 1e9), 0.0},
          Cx{p55, rnd.uniform(1e7, 1e8)}};
}

inline void setElement(Medium& med, int i, int j, const Material& m) {
  med.rho(i, j) = m.rho;
  med.p11(i, j) = m.p11;
  med.p13(i, j) = m.p13;
  med.p15(i, j) = m.p15;
  med.p33(i, j) = m.p33;
  med.p35(i, j) = m.p35;
  med.p55(i, j) = m.p55;
}

/// Medium of the given materials, the material of each element drawn at random.
inline Medium randomMedium(int nx, int ny, const std::vector<Material>& mats, Random& rnd) {
  Medium med(nx, ny);
  for (int j = 0; j <= ny + 1; ++j)
    for (int i = 0; i <= nx + 1; ++i)
      setElement(med, i, j,
                 mats[static_cast<std::size_t>(rnd.integer(0, static_cast<int>(mats.size()) - 1))]);
  return med;
}

}  // namespace sw::test

#pragma once
/// Double-precision complex value with the arithmetic written out component by component.
///
/// The results of a run are compared as text with reference files, so every complex
/// operation follows one fixed formula: the plain component product and Smith's scaled
/// division.  std::complex is not used for arithmetic because its division (and its
/// NaN recovery in products) follows other rules.

#include <cmath>

namespace sw {

/// Complex number stored as (real part, imaginary part).
struct Cx {
  double re = 0.0;
  double im = 0.0;
};

inline bool operator==(Cx a, Cx b) { return a.re == b.re && a.im == b.im; }

inline Cx operator+(Cx a, Cx b) { return {a.re + b.re, a.im + b.im}; }
inline Cx operator-(Cx a, Cx b) { return {a.re - b.re, a.im - b.im}; }
inline Cx operator-(Cx a) { return {-a.re, -a.im}; }
inline Cx& operator+=(Cx& a, Cx b) {
  a.re = a.re + b.re;
  a.im = a.im + b.im;
  return a;
}
inline Cx& operator-=(Cx& a, Cx b) {
  a.re = a.re - b.re;
  a.im = a.im - b.im;
  return a;
}

/// (p + iq)(c + id) = (pc - qd) + i(pd + qc).
inline Cx operator*(Cx a, Cx b) { return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re}; }

/// Real times complex: each part scaled.
inline Cx operator*(double r, Cx a) { return {r * a.re, r * a.im}; }
inline Cx operator*(Cx a, double r) { return {a.re * r, a.im * r}; }

/// Complex divided by real: each part divided.
inline Cx operator/(Cx a, double r) { return {a.re / r, a.im / r}; }

/// Smith's scaled division (p + iq) / (c + id): divide through by the larger in
/// magnitude of c and d; ties take the second branch.
inline Cx operator/(Cx a, Cx b) {
  const double p = a.re, q = a.im, c = b.re, d = b.im;
  if (std::fabs(d) > std::fabs(c)) {
    const double r = c / d;
    const double den = d + c * r;
    return {(p * r + q) / den, (q * r - p) / den};
  }
  const double r = d / c;
  const double den = c + d * r;
  return {(p + q * r) / den, (q - p * r) / den};
}

/// Modulus as the overflow-free hypotenuse of the two parts.
inline double abs(Cx a) { return std::hypot(a.re, a.im); }

inline bool isfinite(Cx a) { return std::isfinite(a.re) && std::isfinite(a.im); }

}  // namespace sw

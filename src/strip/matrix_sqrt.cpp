#include "strip/matrix_sqrt.hpp"

#include <cmath>

#include "core/check.hpp"

namespace sw {

namespace {

/// m = max(m, v), with a not-a-number sticking once it appears, so that an undefined
/// change never passes the convergence bound.
inline void keepMax(double& m, double v) {
  if (v > m || std::isnan(v)) {
    if (!std::isnan(m)) m = v;
  }
}

}  // namespace

void matrixSqrt(int n, const double* a, double* x) {
  SW_CHECK(n >= 1 && n <= kMaxSqrtOrder, "matrix order");
  auto A = [&](int r, int c) { return a[(r - 1) * n + (c - 1)]; };
  auto X = [&](int r, int c) -> double& { return x[(r - 1) * n + (c - 1)]; };

  // Largest absolute row sum, rows in turn, starting from 0.
  double b = 0.0;
  for (int r = 1; r <= n; ++r) {
    double sum = 0.0;
    for (int c = 1; c <= n; ++c) sum = sum + std::fabs(A(r, c));
    keepMax(b, sum);
  }
  const double alpha = 0.49995 / std::sqrt(b);

  for (int r = 1; r <= n; ++r)
    for (int c = 1; c <= n; ++c) {
      X(r, c) = (2.0 * alpha) * A(r, c);
      X(c, r) = X(r, c);
    }

  double t[kMaxSqrtOrder + 1];
  int pass = 1;
  for (;; ++pass) {
    double d = 0.0;
    for (int r = 1; r <= n; ++r) {
      // Row r from X as updated so far (rows above already replaced, left of the
      // diagonal not yet mirrored): the update order fixes the result bits.
      for (int c = 1; c <= n; ++c) {
        double sum = 0.0;
        for (int l = 1; l <= n; ++l) sum = sum - X(r, l) * X(l, c);
        t[c] = (sum + A(r, c)) * alpha + X(r, c);
      }
      for (int c = r; c <= n; ++c) {
        keepMax(d, std::fabs(X(r, c) - t[c]));
        X(r, c) = t[c];
      }
    }
    for (int r = 1; r < n; ++r)
      for (int c = r + 1; c <= n; ++c) X(c, r) = X(r, c);
    if (d < 1e-10 || pass == 1000) break;
  }
}

void symmetricRoot2(double a11, double a12, double a22, double& r11, double& r12, double& r22) {
  const double det = a11 * a22 - a12 * a12;
  const double s = det > 0.0 ? std::sqrt(det) : 0.0;
  const double t = std::sqrt(a11 + a22 + 2.0 * s);
  if (!(t > 0.0)) {
    r11 = r12 = r22 = 0.0;
    return;
  }
  r11 = (a11 + s) / t;
  r12 = a12 / t;
  r22 = (a22 + s) / t;
}

}  // namespace sw

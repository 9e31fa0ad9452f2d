#include "materials/stiffness.hpp"

#include <array>
#include <cmath>

#include "core/constants.hpp"

namespace sw {

double rotationCos() { return std::cos(kPi / 2.0); }
double rotationSin() { return std::sin(kPi / 2.0); }

AxisTurn axisTurn(double degrees) {
  const double a = (degrees / 180.0) * kPi;
  return {std::cos(a), -std::sin(a)};
}

PlaneStiffness rotateToHorizontalAxis(Cx p11w, Cx p13w, Cx p33w, Cx p55w, Cx p66w) {
  const TiltedStiffness r =
      rotateAboutAxis2(p11w, p13w, p33w, p55w, p66w, rotationCos(), rotationSin());
  return {r.p11, r.p13, r.p33, r.p55};
}

TiltedStiffness rotateAboutAxis2(Cx p11w, Cx p13w, Cx p33w, Cx p55w, Cx p66w, double ct,
                                 double st) {
  using Mat6c = std::array<std::array<Cx, 7>, 7>;  // indices 1 .. 6
  using Mat6r = std::array<std::array<double, 7>, 7>;

  Mat6c c{};
  c[1][1] = p11w;
  c[2][2] = p11w;
  c[1][2] = p11w - 2.0 * p66w;
  c[2][1] = c[1][2];
  c[1][3] = p13w;
  c[3][1] = p13w;
  c[2][3] = p13w;
  c[3][2] = p13w;
  c[3][3] = p33w;
  c[4][4] = p55w;
  c[5][5] = p55w;
  c[6][6] = p66w;

  Mat6r b{};
  b[1][1] = ct * ct;
  b[1][3] = st * st;
  b[1][5] = -2.0 * ct * st;
  b[2][2] = 1.0;
  b[3][1] = st * st;
  b[3][3] = ct * ct;
  b[3][5] = 2.0 * ct * st;
  b[4][4] = ct;
  b[4][6] = st;
  b[5][1] = ct * st;
  b[5][3] = -ct * st;
  b[5][5] = ct * ct - st * st;
  b[6][4] = -st;
  b[6][6] = ct;

  // T = B C, then C' = T B^T; every sum runs over the inner index in ascending order.
  Mat6c t{};
  for (int i = 1; i <= 6; ++i)
    for (int k = 1; k <= 6; ++k) {
      Cx s{};
      for (int l = 1; l <= 6; ++l) s = s + b[i][l] * c[l][k];
      t[i][k] = s;
    }
  Mat6c r{};
  for (int i = 1; i <= 6; ++i)
    for (int k = 1; k <= 6; ++k) {
      Cx s{};
      for (int l = 1; l <= 6; ++l) s = s + t[i][l] * b[k][l];
      r[i][k] = s;
    }
  return {r[1][1], r[1][3], r[1][5], r[3][3], r[3][5], r[5][5]};
}

ThomsenStiffness thomsenStiffness(double vp, double vs, double rho, double epsilon,
                                  double delta) {
  ThomsenStiffness c;
  c.c33 = rho * vp * vp;
  c.c55 = rho * vs * vs;
  c.c11 = c.c33 * (1.0 + 2.0 * epsilon);
  const double d = c.c33 - c.c55;
  c.radicand = 2.0 * delta * c.c33 * d + d * d;
  c.c13 = std::sqrt(c.radicand) - c.c55;
  return c;
}

bool positiveDefinite(const ThomsenStiffness& c) {
  const double det = c.c11 * c.c33 - c.c13 * c.c13;
  if (!(c.c11 > 0.0)) return false;
  return c.c55 == 0.0 ? det >= 0.0 : det > 0.0;
}

PlaneStiffness isotropicStiffness(Cx m, Cx g) {
  // Computed through lambda in this order, not copied from M.
  const Cx t = -2.0 * g;
  const Cx lambda = m + t;
  const Cx p33 = lambda + (g + g);
  return {p33, p33 + t, p33, g};
}

}  // namespace sw

#include "materials/stiffness.hpp"

#include <array>
#include <cmath>

#include "core/constants.hpp"

namespace sw {

double rotationCos() { return std::cos(kPi / 2.0); }
double rotationSin() { return std::sin(kPi / 2.0); }

PlaneStiffness rotateToHorizontalAxis(Cx p11w, Cx p13w, Cx p33w, Cx p55w, Cx p66w) {
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

  const double ct = rotationCos();
  const double st = rotationSin();
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
  return {r[1][1], r[1][3], r[3][3], r[5][5]};
}

PlaneStiffness isotropicStiffness(Cx m, Cx g) {
  // Computed through lambda in this order, not copied from M.
  const Cx t = -2.0 * g;
  const Cx lambda = m + t;
  const Cx p33 = lambda + (g + g);
  return {p33, p33 + t, p33, g};
}

}  // namespace sw

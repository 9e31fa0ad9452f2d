#include "model/medium.hpp"

#include <array>
#include <cmath>

#include "core/check.hpp"
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

void fillMedium(int jw, const Materials& mat, Medium& med) {
  // The coefficients depend only on the material and jw: compute them once per material.
  std::array<PlaneStiffness, kMaxMaterials + 1> coef{};
  for (int m = 1; m <= kMaxMaterials; ++m)
    coef[m] = m == kAnisotropicMaterial
                  ? rotateToHorizontalAxis(mat.p11w(m, jw), mat.p13w(m, jw), mat.p33w(m, jw),
                                           mat.p55w(m, jw), mat.p66w(m, jw))
                  : isotropicStiffness(mat.p_modulus(m, jw), mat.s_modulus(m, jw));

  const Grid<int>& num = mat.matnum;
  const int nx = num.nx(), ny = num.ny();
  SW_CHECK(med.rho.nx() == nx && med.rho.ny() == ny, "medium of the material map's grid");
  for (int j = 0; j <= ny + 1; ++j)
    for (int i = 0; i <= nx + 1; ++i) {
      const int m = num(i, j);
      SW_CHECK(m >= 0 && m <= kMaxMaterials, "material number without tables");
      const PlaneStiffness& p = coef[m];
      med.rho(i, j) = mat.rhob[m];
      med.p11(i, j) = p.p11;
      med.p13(i, j) = p.p13;
      med.p33(i, j) = p.p33;
      med.p55(i, j) = p.p55;
      med.p15(i, j) = Cx{};
      med.p35(i, j) = Cx{};
    }
}

}  // namespace sw

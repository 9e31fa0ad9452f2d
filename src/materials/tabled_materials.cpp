#include "materials/tabled_materials.hpp"

#include <array>

#include "core/check.hpp"

namespace sw {

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
  med.closedFormRoots = false;
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

void TabledMaterials::fillMedium(int jw, double /*omega*/, Medium& med, int /*threads*/) const {
  sw::fillMedium(jw, mat_, med);
}

std::size_t TabledMaterials::bytes() const {
  std::size_t tables = 0;
  for (const MaterialTable* t : {&mat_.p_modulus, &mat_.s_modulus, &mat_.p11w, &mat_.p13w,
                                 &mat_.p33w, &mat_.p55w, &mat_.p66w})
    tables += static_cast<std::size_t>(t->freqs()) * kMaxMaterials * sizeof(Cx);
  const std::size_t map = static_cast<std::size_t>(mat_.matnum.nx() + 2) *
                          static_cast<std::size_t>(mat_.matnum.ny() + 2) * sizeof(int);
  return tables + map;
}

}  // namespace sw

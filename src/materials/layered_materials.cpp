#include "materials/layered_materials.hpp"

#include <algorithm>
#include <cmath>

#include "core/check.hpp"

namespace sw {

LayeredMaterials::LayeredMaterials(const MaterialModel& inner, const MatchedLayer& layer,
                                   double h)
    : inner_(inner), layer_(layer), h_(h), grid_(layer.nx, layer.ny) {
  SW_CHECK(layer.present(), "a layer of at least one element");
}

double LayeredMaterials::edgeSpeed(const Medium& grid) const {
  const int nx = layer_.nx, ny = layer_.ny;
  double most = 0.0;
  const auto take = [&](int i, int j) {
    const double m = std::max({abs(grid.p11(i, j)), abs(grid.p33(i, j)), abs(grid.p55(i, j))});
    const double rho = grid.rho(i, j);
    if (rho > 0.0) most = std::max(most, std::sqrt(m / rho));
  };
  for (int j = 1; j <= ny; ++j) {
    take(1, j);
    take(nx, j);
  }
  for (int i = 1; i <= nx; ++i) {
    take(i, 1);
    if (layer_.top) take(i, ny);
  }
  return most;
}

void LayeredMaterials::fillMedium(int jw, double omega, Medium& med, int threads) const {
  const int nx = layer_.nx, ny = layer_.ny;
  const int ex = layer_.extendedNx(), ey = layer_.extendedNy();
  SW_CHECK(med.nx() == ex && med.ny() == ey, "medium of the extended grid");
  inner_.fillMedium(jw, omega, grid_, threads);
  med.closedFormRoots = grid_.closedFormRoots;
  const int di = layer_.left(), dj = layer_.bottom();
  // Every element of the extended grid, its ghost frame included, from the nearest
  // element of the grid.
  for (int j = 0; j <= ey + 1; ++j) {
    const int gj = std::clamp(j - dj, 1, ny);
    for (int i = 0; i <= ex + 1; ++i) {
      const int gi = std::clamp(i - di, 1, nx);
      med.rho(i, j) = grid_.rho(gi, gj);
      med.p11(i, j) = grid_.p11(gi, gj);
      med.p13(i, j) = grid_.p13(gi, gj);
      med.p15(i, j) = grid_.p15(gi, gj);
      med.p33(i, j) = grid_.p33(gi, gj);
      med.p35(i, j) = grid_.p35(gi, gj);
      med.p55(i, j) = grid_.p55(gi, gj);
    }
  }
  const double d0 = layer_.peakDamping(edgeSpeed(grid_), h_);
  if (med.sx.size() != ex) med.sx = Vec1<Cx>(ex);
  if (med.sy.size() != ey) med.sy = Vec1<Cx>(ey);
  for (int i = 0; i <= ex + 1; ++i)
    med.sx(i) = layer_.stretch(MatchedLayer::depth(std::clamp(i, 1, ex) - di, nx), d0, omega);
  for (int j = 0; j <= ey + 1; ++j)
    med.sy(j) = layer_.stretch(MatchedLayer::depth(std::clamp(j, 1, ey) - dj, ny), d0, omega);
}

std::size_t LayeredMaterials::bytes() const {
  const std::size_t framed =
      static_cast<std::size_t>(layer_.nx + 2) * static_cast<std::size_t>(layer_.ny + 2);
  return inner_.bytes() + framed * (sizeof(double) + 6 * sizeof(Cx));
}

}  // namespace sw

#include "solvers/layered_solver.hpp"

#include "core/check.hpp"

namespace sw {

StripGrid extendedGrid(const StripGrid& grid, const MatchedLayer& layer) {
  return StripGrid{layer.extendedNx(), layer.extendedNy(), grid.h, grid.freeSurface};
}

LayeredSolver::LayeredSolver(const StripGrid& grid, const MaterialModel& materials,
                             const MatchedLayer& layer, const ExtendedSolverMaker& make)
    : layer_(layer) {
  SW_CHECK(layer.present() && layer.nx == grid.nx && layer.ny == grid.ny &&
               layer.top == !grid.freeSurface,
           "a layer around the solver's grid");
  materials_ = std::make_unique<LayeredMaterials>(materials, layer_, grid.h);
  inner_ = make(extendedGrid(grid, layer_), *materials_);
  const std::size_t shots = static_cast<std::size_t>(inner_->shots());
  placed_.resize(shots);
  fields_.assign(shots, EdgeFields(grid.nx, grid.ny));
  taken_.assign(shots, false);
}

void LayeredSolver::solve(int jw, std::span<const PointSource> sources,
                          const IterationLimits& limits, SolveObserver& observer,
                          std::span<SolveOutcome> outcomes) {
  SW_CHECK(sources.size() == placed_.size(), "a source for every shot");
  for (std::size_t k = 0; k < sources.size(); ++k) {
    PointSource s = sources[k];
    const bool inside = s.jsou >= 1 && s.jsou <= layer_.nx && s.ksou >= 1 && s.ksou <= layer_.ny;
    // A source outside the grid applies nothing; it is kept outside the extended grid.
    s.jsou = inside ? s.jsou + layer_.left() : 0;
    s.ksou = inside ? s.ksou + layer_.bottom() : 0;
    placed_[k] = s;
    taken_[k] = false;
  }
  inner_->solve(jw, placed_, limits, observer, outcomes);
}

const EdgeFields& LayeredSolver::fields(int shot) {
  SW_CHECK(shot >= 0 && shot < shots(), "shot of the run");
  const std::size_t k = static_cast<std::size_t>(shot);
  EdgeFields& out = fields_[k];
  if (taken_[k]) return out;
  const EdgeFields& all = inner_->fields(shot);
  const int di = layer_.left(), dj = layer_.bottom();
  const auto to = out.arrays();
  const auto from = all.arrays();
  // The ghost frame stays zero, as without a layer: what lies beyond the grid holds no field.
  for (std::size_t a = 0; a < to.size(); ++a)
    for (int j = 1; j <= layer_.ny; ++j)
      for (int i = 1; i <= layer_.nx; ++i) (*to[a])(i, j) = (*from[a])(i + di, j + dj);
  taken_[k] = true;
  return out;
}

std::size_t LayeredSolver::bytes() const {
  std::size_t own = 0;
  for (const EdgeFields& f : fields_)
    for (const Grid<Cx>* g : f.arrays()) own += g->size() * sizeof(Cx);
  return inner_->bytes() + materials_->bytes() + own;
}

}  // namespace sw

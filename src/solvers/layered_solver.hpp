#pragma once
/// A frequency solver of a grid surrounded by a perfectly matched layer: another solver
/// works on the extended grid, and the fields of the grid's own elements are taken out of
/// its solution.

#include <functional>
#include <memory>
#include <vector>

#include "materials/layered_materials.hpp"
#include "model/matched_layer.hpp"
#include "solvers/frequency_solver.hpp"
#include "solvers/strip_iteration.hpp"

namespace sw {

/// Makes the solver of the extended grid over the medium of the layered materials.
using ExtendedSolverMaker =
    std::function<std::unique_ptr<FrequencySolver>(const StripGrid&, const MaterialModel&)>;

/// The extended grid of `grid` with `layer` around it: the free surface stays on top.
StripGrid extendedGrid(const StripGrid& grid, const MatchedLayer& layer);

class LayeredSolver final : public FrequencySolver {
 public:
  /// A solver of `grid` (the grid's own elements, of `materials`) with `layer` around it,
  /// the extended grid solved by the solver `make` returns.
  LayeredSolver(const StripGrid& grid, const MaterialModel& materials, const MatchedLayer& layer,
                const ExtendedSolverMaker& make);

  void factor(int jw, double omega) override { inner_->factor(jw, omega); }
  /// The sources placed in the extended grid (a source outside the grid stays outside).
  void solve(int jw, std::span<const PointSource> sources, const IterationLimits& limits,
             SolveObserver& observer, std::span<SolveOutcome> outcomes) override;
  /// The edge fields of the grid's own elements (the ghost frame zero, as without a layer).
  const EdgeFields& fields(int shot) override;
  int shots() const override { return inner_->shots(); }
  std::size_t bytes() const override;
  void saveCarried(StateWriter& out) const override { inner_->saveCarried(out); }
  void restoreCarried(StateReader& in) override { inner_->restoreCarried(in); }

  FrequencySolver& extended() { return *inner_; }
  const MatchedLayer& layer() const { return layer_; }

 private:
  MatchedLayer layer_;
  std::unique_ptr<LayeredMaterials> materials_;
  std::unique_ptr<FrequencySolver> inner_;
  std::vector<PointSource> placed_;
  std::vector<EdgeFields> fields_;
  std::vector<bool> taken_;  ///< fields_[k] holds the last solve's fields
};

}  // namespace sw

#pragma once
/// The strip iteration as a frequency solver: every strip assembled and factored once per
/// frequency, then for each shot passes of strip solves and multiplier updates from the
/// fields the shot's previous frequency left, until the change is below reduc.

#include <memory>
#include <vector>

#include "coupling/accelerated_iteration.hpp"
#include "coupling/carried_state.hpp"
#include "coupling/edge_fields.hpp"
#include "coupling/iteration.hpp"
#include "coupling/lane_fields.hpp"
#include "coupling/lane_pass.hpp"
#include "materials/material_model.hpp"
#include "solvers/frequency_solver.hpp"
#include "strip/lane_factors.hpp"
#include "strip/strip_factors.hpp"
#include "strip/strip_system.hpp"
#include "strip/strip_work.hpp"

namespace sw {

/// Which kernels solve the strips: the plain scalar ones, one strip at a time, or the lane
/// kernels, kLanes strips side by side in a fused pass.  The results are the same bit
/// for bit; the scalar kernels are the readable reference.
enum class Kernels { scalar, lanes };

/// The grid of the strips: nx by ny square elements of side h.
struct StripGrid {
  int nx = 0, ny = 0;
  double h = 0.0;
  bool freeSurface = false;  ///< the top edge traction-free instead of absorbing
};

/// What a strip iteration is made of, fixed for a run.
struct StripIterationSettings {
  int threads = 1;  ///< strips assembled and solved at a time; the results do not depend on it
  Kernels kernels = Kernels::lanes;
  Acceleration acceleration = Acceleration::off;
  int shots = 1;
  /// a of the complex frequency omega - i a the strips are assembled at (0: omega)
  double damping = 0.0;
};

class StripIteration final : public FrequencySolver {
 public:
  StripIteration(const StripGrid& grid, const MaterialModel& materials,
                 const StripIterationSettings& settings);

  void factor(int jw, double omega) override;
  void solve(int jw, std::span<const PointSource> sources, const IterationLimits& limits,
             SolveObserver& observer, std::span<SolveOutcome> outcomes) override;
  const EdgeFields& fields(int shot) override;
  int shots() const override { return settings_.shots; }
  std::size_t bytes() const override;
  void saveCarried(StateWriter& out) const override;
  void restoreCarried(StateReader& in) override;

  /// Bytes one iteration pass moves by our count (lane kernels; 0 for the scalar ones).
  double bytesPerPass() const;
  /// Bytes of the accelerated iteration's history and work vectors (0 without it).
  std::size_t accelerationBytes() const { return accel_ ? accel_->bytes() : 0; }

 private:
  /// Per shot: the fields it iterates on and what carries over between its frequencies.
  struct ShotState {
    EdgeFields cur;       ///< scalar kernels; the lane kernels' fields exported for reading
    LaneFields laneCur;   ///< lane kernels
    IterationControl ctl;
    bool exported = false;
  };

  void assembleScalar();
  void assembleLanes();
  /// Forms the interface parameters again, keeping those of the vertical edges.
  void keepVerticalParameters();
  LaneSystem laneSystem(const PointSource& src) const;
  IterationResult iterateScalar(int shot, int jw, const PointSource& src, PassObserver& observer);
  IterationResult iterateLanes(int shot, int jw, const PointSource& src, PassObserver& observer);

  StripGrid grid_;
  const MaterialModel& materials_;
  StripIterationSettings settings_;
  StripSystem sys_;
  std::vector<ShotState> state_;
  // Scalar kernels.
  StripFactors factors_;
  std::vector<StripWork> work_;  ///< one workspace per thread
  EdgeFields prev_;
  // Lane kernels.
  StripGroups groups_;
  LaneFactors laneFactors_;
  LaneBetas laneBeta_;
  LanePass lanePass_;
  std::vector<std::vector<BandMatrix>> bands_;  ///< kLanes band matrices per thread
  CarriedState carried_;
  std::unique_ptr<AcceleratedIteration> accel_;  ///< only when accelerating
};

}  // namespace sw

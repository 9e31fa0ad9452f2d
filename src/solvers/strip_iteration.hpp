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
#include "coupling/krylov_iteration.hpp"
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

/// What the lane layout assumes of the terms of a system beyond what the scalar kernels
/// need.  The lane kernels keep, of a horizontal edge's interface parameters, the
/// imaginary parts only, and of every edge one off-diagonal entry.
struct LaneLayoutTerms {
  /// The elements' mass is formed from the real density of `Medium::rho`, and with it the
  /// interface parameters i (Ra + Rb) s omega from real roots and a real s.
  bool realDensity = true;
  /// The parameters of every horizontal edge are purely imaginary, with a real part of +0.
  bool imaginaryHorizontal = true;
  /// The 2 x 2 blocks of every edge are symmetric: b21 = b12.
  bool symmetricBlocks = true;
};

/// The terms of the systems over the media `materials` fills.  The stretches of a
/// matched layer make the density of the mass complex, rho sx sy, and so the parameters
/// of the edges formed from it; every system keeps one b12 per edge.
LaneLayoutTerms systemTerms(const MaterialModel& materials);

/// True when the lane layout holds for a system of these terms.
bool laneLayoutHolds(const LaneLayoutTerms& terms);

/// The kernels a strip iteration over `materials` runs: `requested`, but the scalar
/// kernels for a system the lane layout does not hold for.
Kernels kernelsFor(Kernels requested, const MaterialModel& materials);

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

  /// The kernels the iteration runs (`kernelsFor` of the requested ones).
  Kernels kernels() const { return settings_.kernels; }
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
  std::unique_ptr<KrylovIteration> krylov_;  ///< only with Acceleration::krylov
};

}  // namespace sw

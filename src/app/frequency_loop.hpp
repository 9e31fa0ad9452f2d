#pragma once
/// The loop over frequencies: per-element coefficients, interface parameters, strip
/// factorisation, the iteration, and the accumulation of each frequency's fields.

#include <memory>
#include <optional>
#include <vector>

#include "app/progress.hpp"
#include "core/complex.hpp"
#include "core/grid.hpp"
#include "coupling/accelerated_iteration.hpp"
#include "coupling/carried_state.hpp"
#include "coupling/edge_fields.hpp"
#include "coupling/iteration.hpp"
#include "coupling/lane_fields.hpp"
#include "coupling/lane_pass.hpp"
#include "materials/material_model.hpp"
#include "model/run_params.hpp"
#include "output/accumulators.hpp"
#include "records/out_file.hpp"
#include "strip/lane_factors.hpp"
#include "strip/strip_factors.hpp"
#include "strip/strip_system.hpp"
#include "strip/strip_work.hpp"

namespace sw {

/// Which kernels solve the strips: the plain scalar ones, one strip at a time, or the lane
/// kernels, kLanes strips side by side in a fused pass.  The results are the same bit
/// for bit; the scalar kernels are the readable reference.
enum class Kernels { scalar, lanes };

/// All storage of the frequency loop, sized once to the run's grid.
class FrequencyLoop {
 public:
  /// `threads` strips are assembled and solved at a time (0: `defaultThreads`); the
  /// results do not depend on it, nor on `kernels`.  `sour` is the source spectrum,
  /// 1 .. jw2.  `acceleration` says which frequencies the accelerated iteration mixes.
  FrequencyLoop(const RunParams& par, const MaterialModel& materials, const Vec1<Cx>& sour, int threads = 0,
                Kernels kernels = Kernels::lanes,
                Acceleration acceleration = Acceleration::off);

  /// Logs the band, then solves jw = jw2 down to jw1, each starting from the fields
  /// left by the previous one.  The log is flushed before the first frequency and after
  /// each one; `progress`, if given, is told of every frequency and pass.
  void run(rec::OutFile& log, ProgressReport* progress = nullptr);

  /// Solves frequency index jw and adds its fields to the accumulators: the log lines of
  /// the frequency, then assemble, iterate and accumulate.
  IterationResult solveFrequency(int jw, rec::OutFile& log);

  /// Element coefficients, interface parameters and the factors of every strip for
  /// frequency index jw at angular frequency omega.
  void assemble(int jw, double omega);
  /// The iteration passes of frequency index jw, from the fields left in place.
  IterationResult iterate(int jw, rec::OutFile& log);
  /// Adds the fields to the snapshots and receiver spectra; notes non-finite fields.
  void accumulate(int jw);

  const Accumulators& accumulators() const { return acc_; }
  /// Bytes of the accelerated iteration's history and work vectors (0 without it).
  std::size_t accelerationBytes() const { return accel_ ? accel_->bytes() : 0; }
  /// The sixteen edge arrays of the current iterate.
  const EdgeFields& fields();
  /// Bytes one iteration pass moves by our count (lane kernels; 0 for the scalar ones).
  double bytesPerPass() const;
  /// The first frequency index after which the edge fields were not all finite.
  std::optional<int> firstNonFinite() const { return firstNonFinite_; }

 private:
  void assembleLanes();
  IterationResult iterateLanes(int jw, rec::OutFile& log);
  /// Forms the interface parameters again, keeping those of the vertical edges.
  void keepVerticalParameters();
  LaneSystem laneSystem(int jw) const;

  const RunParams& par_;
  const MaterialModel& mat_;
  const Vec1<Cx>& sour_;
  Kernels kernels_;
  int threads_;
  StripSystem sys_;
  // Scalar kernels.
  StripFactors factors_;
  std::vector<StripWork> work_;  ///< one workspace per thread
  EdgeFields cur_, prev_;
  // Lane kernels.
  StripGroups groups_;
  LaneFactors laneFactors_;
  LaneBetas laneBeta_;
  LaneFields laneCur_;
  LanePass lanePass_;
  std::vector<std::vector<BandMatrix>> bands_;  ///< kLanes band matrices per thread
  bool exported_ = false;
  CarriedState carried_;
  std::unique_ptr<AcceleratedIteration> accel_;  ///< only when accelerating
  Accumulators acc_;
  IterationControl ctl_;
  std::optional<int> firstNonFinite_;
};

/// Threads for a grid of nx by ny elements: one below 4096 elements, where a pass is
/// too short to share out, otherwise as many as OpenMP offers (OMP_NUM_THREADS).
int defaultThreads(int nx, int ny);

/// True when every displacement of the elements is finite.
bool fieldsFinite(const EdgeFields& f);
bool fieldsFinite(const LaneFields& f);

}  // namespace sw

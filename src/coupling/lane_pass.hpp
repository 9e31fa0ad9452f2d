#pragma once
/// One iteration pass over the strips in the lane layout, fused per group of strips:
/// right-hand side, solve, multiplier update, relaxation and the terms of the change
/// measure while a group's rows are in cache.
///
/// The pass computes exactly what the plain sequence does (save the previous iterate,
/// solve and update the odd strips, then the even strips, relax everything, measure):
/// - odd strips read the even strips as they were before the pass; their new values go
///   to a buffer of their own, so the even rows stay untouched until the odd phase ends;
/// - even strips read the odd strips' new, unrelaxed values from that buffer; an even
///   group is relaxed as soon as it is solved (its previous values are still in place);
///   an odd group is relaxed once both even groups that read it are done;
/// - the terms of the two sums are stored at their place in the summation order and
///   summed serially afterwards, i outer, j inner, the eight displacement arrays in turn.

#include <vector>

#include "coupling/lane_fields.hpp"
#include "model/boundary.hpp"
#include "model/point_source.hpp"
#include "strip/lane_factors.hpp"

namespace sw {

/// What the strips of one frequency share: factors (odd groups first, then even
/// groups), interface parameters, indicators, mesh size and the point source.
struct LaneSystem {
  const LaneFactors* factors = nullptr;
  const LaneBetas* beta = nullptr;
  const BoundaryIndicators* del = nullptr;
  double h = 0.0;
  PointSource src;
};

/// The sums of the change measure of one pass.
struct ChangeSums {
  double errnum = 0.0;
  double errden = 0.0;
};

/// Outcome of one pass.
struct LanePassResult {
  /// False when a strip's new displacements on its inner vertical edges were not all
  /// finite: its inner vertical multipliers would then differ from +0.  When the odd
  /// phase finds this, nothing has changed (`changed` false); otherwise the pass is
  /// complete except for those multipliers, which `dirtyMultipliers` then holds.
  bool clean = true;
  bool changed = true;
};

class LanePass {
 public:
  LanePass() = default;
  LanePass(int nx, int ny, int threads);

  /// One pass over `cur`.  With `measure`, the two sums are formed as well.
  LanePassResult run(LaneFields& cur, const LaneSystem& sys, bool measure);
  /// The sums of the last pass run with `measure`.
  const ChangeSums& sums() const { return sums_; }

  int threads() const { return threads_; }
  /// Bytes the pass moves to and from memory by our count (factors, fields, buffers,
  /// terms, interface parameters), for the benchmark.
  double bytesPerPass(const LaneSystem& sys) const;

 private:
  struct Work {
    std::vector<LaneCx> rhs, answer, y, fresh;
  };
  template <int P>
  bool solveGroup(int g, const LaneFields& cur, const LaneSystem& sys, Work& w, LaneCx* out) const;
  void relaxGroup(int p, int g, const LaneCx* fresh, LaneCx* block, bool measure);
  void sum();

  int nx_ = 0, ny_ = 0, threads_ = 1;
  StripGroups groups_;
  LaneFields oddNew_;
  std::vector<Work> work_;
  std::vector<Lane, LineAlignedAllocator<Lane>> num_, den_;
  ChangeSums sums_;
};

}  // namespace sw

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

#include <atomic>
#include <utility>
#include <vector>

#include "coupling/lane_fields.hpp"
#include "model/boundary.hpp"
#include "model/point_source.hpp"
#include "strip/interface_parameters.hpp"
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

/// Outcome of one pass made while the vertical multipliers were not kept.  When the new
/// displacements of a strip on its inner vertical edges are not all finite, its inner
/// vertical multipliers differ from +0 and have to be kept from then on:
enum class LanePassResult {
  done,
  /// found in an odd strip: nothing has changed; the pass is to be made again after
  /// cur.keepVertical() and with the vertical parameters kept.
  again,
  /// found in an even strip: the pass is complete but for the vertical multipliers of
  /// those strips; finishVertical() forms them once the vertical parameters are kept.
  finishVertical,
};

class LanePass {
 public:
  LanePass() = default;
  LanePass(int nx, int ny, int threads);

  /// Starts the passes of a frequency (new factors, parameters or source).
  void begin();
  /// One pass over `cur`.  With `measure`, the two sums are formed as well; with `ahead`,
  /// the odd phase of the next pass is made while they are (begin() drops it when `cur`
  /// is changed between passes).
  LanePassResult run(LaneFields& cur, const LaneSystem& sys, bool measure, bool ahead = true);
  /// Completes a pass that returned finishVertical: keeps the vertical multipliers of
  /// `cur`, those of the strips that found non-finite displacements formed from their
  /// new displacements, the parameters `beta` keeping the vertical edges.
  void finishVertical(LaneFields& cur, const LaneBetas& beta);
  /// The sums of the last pass run with `measure`.
  const ChangeSums& sums() const { return sums_; }

  int threads() const { return threads_; }
  /// Bytes the pass moves to and from memory by our count (factors, fields, buffers,
  /// terms, interface parameters), for the benchmark.
  double bytesPerPass(const LaneSystem& sys) const;

 private:
  struct Work {
    std::vector<LaneCx> x, fresh, freshVertical;  ///< x: right-hand side, then solution
  };
  template <int P>
  bool solveGroup(int g, const LaneFields& cur, const LaneSystem& sys, Work& w, LaneCx* out,
                  LaneCx* outVertical) const;
  void relaxGroup(int p, int g, const LaneCx* fresh, LaneCx* block, bool measure);
  bool oddGroups(const LaneFields& cur, const LaneSystem& sys, std::atomic<int>& next,
                 bool descending);
  /// The order of a phase: each phase of a parity walks its groups the other way round
  /// from the last, so that it starts on the factors the last one read most recently,
  /// those still in the caches.  Returns whether this one descends.
  static bool flip(bool& descending);
  void sum();

  int nx_ = 0, ny_ = 0, threads_ = 1;
  StripGroups groups_;
  LaneFields oddNew_;
  std::vector<Work> work_;
  /// Even groups of this pass whose inner vertical displacements were not finite, with
  /// their new displacements.
  std::vector<std::pair<int, std::vector<LaneCx>>> dirty_;
  /// Per element and group: the squared moduli of Xp - X of its u1 l, t, b and u2 l, t,
  /// b values, then those of Xp + X.
  static constexpr int kTermsPerElement = 12;
  std::size_t termIndex(int i, int g, int p) const;
  std::vector<Lane, LineAlignedAllocator<Lane>> terms_;
  ChangeSums sums_;
  /// The odd phase of the next pass is made already (ahead_), with or without the
  /// vertical multipliers, and found them clean or not.
  bool ahead_ = false, aheadVertical_ = false, oddClean_ = true;
  bool oddDescending_ = false, evenDescending_ = false;
};

}  // namespace sw

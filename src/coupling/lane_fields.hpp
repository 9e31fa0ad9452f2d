#pragma once
/// The edge fields of the iteration in the layout of the lane kernels: strips of one
/// parity grouped kLanes at a time, every value of an element of a group together.
///
/// Only the values that carry information are kept:
/// - the displacements of a strip are its solution vector: the l, t and b pairs of every
///   element, and the r pair of the last one (the r pair of element i is the l pair of
///   element i+1, bit for bit, because both are stored from one solution entry);
/// - the multipliers of the horizontal edges (t and b of every element);
/// - the multipliers of the two outer vertical edges of a strip (l of element 1, r of
///   element nx), which nothing reads but which are kept as the iteration forms them.
/// The multipliers of the vertical edges inside a strip are kept only once they may
/// differ from +0.  They are exactly +0 as long as the displacements on those edges are
/// finite and the interface parameters of those edges are finite with a +0 real part:
/// their jump is x - x = +0, its products with the parameters are +0, and the neighbour
/// multiplier they subtract is again one of them.  The pass checks the displacements,
/// the frequency loop the parameters; when either fails, the vertical multipliers are
/// kept from then on (`keepVertical`) and updated like the others.

#include <cstddef>
#include <span>
#include <vector>

#include "core/lanes.hpp"
#include "coupling/edge_fields.hpp"
#include "strip/assemble_strip.hpp"
#include "strip/interface_parameters.hpp"
#include "strip/strip_factors.hpp"

namespace sw {

/// Where strip s lives: parity p (0 odd strips, 1 even strips), group G and lane l, with
/// s = 2 (G kLanes + l) + 1 + p.  Lanes beyond the last strip of a parity hold zeros.
struct LaneSlot {
  int p, group, lane;
};

/// The grouping of the strips 1 .. ny of a grid.
struct StripGroups {
  int ny = 0;
  int count[2] = {0, 0};  ///< groups of odd and of even strips

  StripGroups() = default;
  explicit StripGroups(int ny_) : ny(ny_) {
    const int strips[2] = {(ny_ + 1) / 2, ny_ / 2};
    for (int p = 0; p < 2; ++p) count[p] = (strips[p] + kLanes - 1) / kLanes;
  }
  static int strip(int p, int g, int l) { return 2 * (g * kLanes + l) + 1 + p; }
  static LaneSlot slot(int s) {
    const int p = (s - 1) % 2, index = (s - 1) / 2;
    return {p, index / kLanes, index % kLanes};
  }
  /// Lanes of group (p, g) that hold a strip of the grid.
  LaneMask real(int p, int g) const {
    LaneMask m;
    for (int l = 0; l < kLanes; ++l) m[l] = strip(p, g, l) <= ny ? -1 : 0;
    return m;
  }
  /// Groups of the larger parity (the odd strips).
  int maxCount() const { return count[0]; }
};

/// One component on the four edges of an element.
struct EdgeValues {
  Cx l, t, b, r;
};

/// Values of one element of a group, in this order.
namespace field {
inline constexpr int kU1l = 0, kU2l = 1, kU1t = 2, kU2t = 3, kU1b = 4, kU2b = 5;
inline constexpr int kG1t = 6, kG2t = 7, kG1b = 8, kG2b = 9;
inline constexpr int kPerElement = 10;
/// After the nx element records: the r pair of element nx and the multipliers of the
/// outer vertical edges.
inline constexpr int kU1r = 0, kU2r = 1, kG1l = 2, kG2l = 3, kG1r = 4, kG2r = 5;
inline constexpr int kTail = 6;
}  // namespace field

/// The state of the iteration for every strip, or for the strips of one parity.
class LaneFields {
 public:
  LaneFields() = default;
  /// Storage for the groups of the parities in `parities` (bit 0 odd, bit 1 even).
  LaneFields(int nx, int ny, int parities = 3);

  int nx() const { return nx_; }
  const StripGroups& groups() const { return groups_; }

  /// Block of group g of parity p: nx element records, then the tail.  Group -1 and
  /// group count[p] exist and stay zero (the neighbours beyond the grid).
  LaneCx* block(int p, int g) {
    return base_[p] + static_cast<std::ptrdiff_t>(g) * static_cast<std::ptrdiff_t>(blockEntries());
  }
  const LaneCx* block(int p, int g) const {
    return base_[p] + static_cast<std::ptrdiff_t>(g) * static_cast<std::ptrdiff_t>(blockEntries());
  }
  std::size_t blockEntries() const {
    return static_cast<std::size_t>(nx_) * field::kPerElement + field::kTail;
  }
  std::size_t bytes() const { return v_.size() * sizeof(LaneCx); }

  /// The displacements of one strip (s = 0 and ny+1: the zero ghost rows).
  class StripView {
   public:
    StripView(const LaneCx* block, int lane, int nx) : b_(block), lane_(lane), nx_(nx) {}
    /// Component c (1, 2) on the l, t, b, r edges of element i (0 and nx+1: zero).
    EdgeValues edges(int c, int i) const {
      if (b_ == nullptr || i < 1 || i > nx_) return {};
      const LaneCx* e = b_ + static_cast<std::size_t>(i - 1) * field::kPerElement;
      const LaneCx& r = i < nx_ ? e[field::kPerElement + field::kU1l + c - 1]
                                : e[field::kPerElement + field::kU1r + c - 1];
      return {lane(e[field::kU1l + c - 1], lane_), lane(e[field::kU1t + c - 1], lane_),
              lane(e[field::kU1b + c - 1], lane_), lane(r, lane_)};
    }

   private:
    const LaneCx* b_;
    int lane_, nx_;
  };
  StripView strip(int s) const {
    if (s < 1 || s > groups_.ny) return {nullptr, 0, nx_};
    const LaneSlot at = StripGroups::slot(s);
    return {block(at.p, at.group), at.lane, nx_};
  }

  /// Multipliers of the vertical edges of group (p, g), per element g1 l, g2 l, g1 r,
  /// g2 r; nullptr while they are not kept.
  LaneCx* vertical(int p, int g) {
    return vert_.empty() ? nullptr : vbase_[p] + static_cast<std::size_t>(g) * 4 * nx_;
  }
  const LaneCx* vertical(int p, int g) const {
    return vert_.empty() ? nullptr : vbase_[p] + static_cast<std::size_t>(g) * 4 * nx_;
  }
  bool keepsVertical() const { return !vert_.empty(); }
  /// Every value kept, in storage order (the zero groups beyond the grid included), and
  /// the vertical multipliers (empty while not kept): what a pass starts from.
  std::span<LaneCx> values() { return {v_.data(), v_.size()}; }
  std::span<const LaneCx> values() const { return {v_.data(), v_.size()}; }
  std::span<LaneCx> verticalValues() { return {vert_.data(), vert_.size()}; }
  std::span<const LaneCx> verticalValues() const { return {vert_.data(), vert_.size()}; }
  /// Starts keeping the vertical multipliers: the inner ones +0, the outer ones those of
  /// the tails.
  void keepVertical();
  /// Stops keeping them when every inner one is +0 again.
  void dropVerticalIfZero();

  /// The sixteen arrays of the iteration, ghost frame zero; inner vertical multipliers +0.
  void exportTo(EdgeFields& f) const;
  /// Takes the state from `f` (keeping the vertical multipliers when an inner one is not
  /// +0); false, and nothing taken, when an r pair differs from the l pair it shares an
  /// edge with.
  bool importFrom(const EdgeFields& f);

 private:
  int nx_ = 0;
  int parities_ = 3;
  StripGroups groups_;
  std::vector<LaneCx, LineAlignedAllocator<LaneCx>> v_, vert_;
  LaneCx* base_[2] = {nullptr, nullptr};
  LaneCx* vbase_[2] = {nullptr, nullptr};
};

/// Interface parameters in the lane layout, filled as interfaceParameters forms them.
/// Horizontal edge e (1 .. ny+1) lies between strips e-1 and e (b side of strip e, t side
/// of strip e-1) and is kept at the slot of strip e; the boundary edges (e = 1, ny+1)
/// stay zero.  The parameters of a horizontal edge are purely imaginary, with a real part
/// of +0: only their imaginary parts are kept.  The vertical edges are checked, and kept
/// (whole) only on request; their outer edges (l of element 1, r of element nx) stay zero.
class LaneBetas : public EdgeParameterSink {
 public:
  LaneBetas() = default;
  LaneBetas(int nx, int ny);

  /// Imaginary parts of b11, b12, b22 of the edges (i, e) of the lanes of group (p, g),
  /// g = 0 .. count[p]: 3 Lanes (the real parts are +0).
  const Lane* edge(int p, int g, int i) const {
    return v_.data() + (static_cast<std::size_t>(index(p, g)) * nx_ + (i - 1)) * 3;
  }
  /// Parameters of the vertical edges of group (p, g): per element b11, b12, b22 of the
  /// l edge, then of the r edge; nullptr unless kept.
  const LaneCx* verticalEdges(int p, int g) const {
    return vert_.empty() ? nullptr : vert_.data() + static_cast<std::size_t>(index(p, g)) * 6 * nx_;
  }
  bool keepsVertical() const { return !vert_.empty(); }
  /// True when every vertical edge had finite parameters with a +0 real part.
  bool verticalClean() const;

  /// Before the parameters of a frequency: with `keepVertical` those of the vertical
  /// edges are stored too.
  void begin(bool keepVertical);
  void vertical(int i, int j, const EdgeParameters& b) override;
  void horizontal(int i, int j, const EdgeParameters& b) override;

  /// The parameters the assembly of strip s reads.
  void stripParameters(int s, StripEdgeParameters& p) const;
  std::size_t bytes() const { return v_.size() * sizeof(Lane); }

 private:
  int index(int p, int g) const { return p == 0 ? g : groups_.count[0] + 1 + g; }
  Lane* at(int s, int i) {
    const LaneSlot sl = StripGroups::slot(s);
    return v_.data() + (static_cast<std::size_t>(index(sl.p, sl.group)) * nx_ + (i - 1)) * 3;
  }
  int nx_ = 0;
  StripGroups groups_;
  /// Per row: a vertical edge of it had parameters that were not finite or had a real
  /// part other than +0 (one flag per row: rows are formed on several threads).
  std::vector<unsigned char> verticalUnclean_;
  std::vector<Lane, LineAlignedAllocator<Lane>> v_;
  std::vector<LaneCx, LineAlignedAllocator<LaneCx>> vert_;
};

}  // namespace sw

#pragma once
/// The LU factors of every strip of the grid, packed for the solves.

#include <array>
#include <cstddef>
#include <new>
#include <vector>

#include "core/check.hpp"
#include "core/complex.hpp"
#include "strip/numbering.hpp"

namespace sw {

/// Allocator handing out cache-line aligned blocks, so that each group record of the
/// packed factors starts on a line boundary.
template <class T>
struct LineAlignedAllocator {
  using value_type = T;
  static constexpr std::align_val_t kAlign{64};

  LineAlignedAllocator() = default;
  template <class U>
  LineAlignedAllocator(const LineAlignedAllocator<U>&) {}

  T* allocate(std::size_t n) { return static_cast<T*>(::operator new(n * sizeof(T), kAlign)); }
  void deallocate(T* p, std::size_t) { ::operator delete(p, kAlign); }
  template <class U>
  bool operator==(const LineAlignedAllocator<U>&) const {
    return true;
  }
};

/// Layout of the packed factors.  Unknown k = 6g + t (t = 1 .. 6) has the entries
/// L(k+m, k) and U(k, k+m) for m = 1 .. 8 - t inside the element envelope; with the
/// pivot L(k, k) that is 1 + 2 (8 - t) entries, 60 for a whole group of six.
namespace packed {

/// Entries of one group of six unknowns in the packed (used) area.
inline constexpr int kGroupEntries = 60;
/// Hole positions of one group: L(k+m, k), U(k, k+m) with t + m > 8.
inline constexpr int kGroupHoles = 30;
/// Start of the record of group position t within its group.  A record holds the
/// pivot, then L(k+m, k) for m = 1 .. 8 - t, then U(k, k+m) for m = 1 .. 8 - t.
inline constexpr std::array<int, 7> kRecord = {0, 0, 15, 28, 39, 48, 55};
/// Start of the holes of group position t within the hole area of its group.
inline constexpr std::array<int, 7> kHoleRecord = {0, 0, 0, 2, 6, 12, 20};

/// Slot of L(k+m, k) for group position t (m = 0: the pivot), m <= 8 - t.
inline constexpr int lslot(int t, int m) { return kRecord[t] + m; }
/// Slot of U(k, k+m) for group position t, 1 <= m <= 8 - t.
inline constexpr int uslot(int t, int m) { return kRecord[t] + 8 - t + m; }

static_assert(kRecord[6] + 1 + 2 * (8 - 6) == kGroupEntries, "records fill the group");
static_assert(kHoleRecord[6] + 2 * (6 - 1) == kGroupHoles, "holes fill their area");

}  // namespace packed

/// LU factors of every strip of the grid, one column per strip: xld(0) holds the
/// pivots L(k, k); xld(m) holds L(k+m, k) and u(m) holds U(k, k+m), m = 1 .. 7, for
/// k = 1 .. N - m.  Positions outside the element envelope (holes) are never written
/// by the factorisation and keep whatever they held.
///
/// Storage: per strip, the entries inside the envelope are packed group by group of
/// six unknowns (`packed` layout), so that a solve streams one contiguous array; the
/// holes live in a separate area and are reachable only through the accessors.
class StripFactors {
 public:
  StripFactors() = default;
  StripFactors(int nx, int ny)
      : nx_(nx),
        ny_(ny),
        n_(stripUnknowns(nx)),
        groups_(nx + 1),
        packed_(static_cast<std::size_t>(groups_) * packed::kGroupEntries *
                    static_cast<std::size_t>(ny),
                Cx{}),
        holes_(
            static_cast<std::size_t>(groups_) * packed::kGroupHoles * static_cast<std::size_t>(ny),
            Cx{}) {}

  int nx() const { return nx_; }
  int strips() const { return ny_; }
  int unknowns() const { return n_; }

  /// L(k+m, k) of strip s (m = 0: the pivot).
  Cx& xld(int m, int k, int s) { return at(locate(false, m, k, s)); }
  const Cx& xld(int m, int k, int s) const { return at(locate(false, m, k, s)); }
  /// U(k, k+m) of strip s, m = 1 .. 7.
  Cx& u(int m, int k, int s) { return at(locate(true, m, k, s)); }
  const Cx& u(int m, int k, int s) const { return at(locate(true, m, k, s)); }

  /// Packed envelope entries of strip s: group g (0 .. nx) starts at entry 60 g.
  Cx* packedStrip(int s) {
    SW_BOUNDS(s >= 1 && s <= ny_);
    return packed_.data() + stripOffset(s, packed::kGroupEntries);
  }
  const Cx* packedStrip(int s) const {
    SW_BOUNDS(s >= 1 && s <= ny_);
    return packed_.data() + stripOffset(s, packed::kGroupEntries);
  }

 private:
  std::size_t stripOffset(int s, int perGroup) const {
    return static_cast<std::size_t>(groups_) * perGroup * static_cast<std::size_t>(s - 1);
  }
  /// Where an entry lives: in the packed area or among the holes.
  struct Place {
    bool hole;
    std::size_t index;
  };
  Place locate(bool upper, int m, int k, int s) const {
    SW_BOUNDS(m >= (upper ? 1 : 0) && m <= 7 && k >= 1 && k <= n_ - m && s >= 1 && s <= ny_);
    const int g = (k - 1) / 6;
    const int t = k - 6 * g;
    if (m <= 8 - t) {
      const int slot = upper ? packed::uslot(t, m) : packed::lslot(t, m);
      return {false, stripOffset(s, packed::kGroupEntries) +
                         static_cast<std::size_t>(g) * packed::kGroupEntries + slot};
    }
    const int slot = packed::kHoleRecord[t] + (upper ? t - 1 : 0) + (m - (9 - t));
    return {true, stripOffset(s, packed::kGroupHoles) +
                      static_cast<std::size_t>(g) * packed::kGroupHoles + slot};
  }
  Cx& at(Place p) { return p.hole ? holes_[p.index] : packed_[p.index]; }
  const Cx& at(Place p) const { return p.hole ? holes_[p.index] : packed_[p.index]; }

  int nx_ = 0, ny_ = 0, n_ = 0, groups_ = 0;
  std::vector<Cx, LineAlignedAllocator<Cx>> packed_;
  std::vector<Cx> holes_;
};

}  // namespace sw

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

/// Layout of the packed factors.  Unknown k = 6g + t (t = 1 .. 6, the groups follow the
/// numbering of the strip's unknowns) has the entries L(k+m, k) and U(k, k+m) for
/// m = 1 .. 8 - t inside the element envelope; with the pivot L(k, k) that is
/// 1 + 2 (8 - t) entries, 60 for a whole group of six.  Outside the envelope both
/// factors are zero and nothing is stored.
namespace packed {

/// Entries of one group of six unknowns.
inline constexpr int kGroupEntries = 60;
/// Start of the record of group position t within its group.  A record holds the
/// pivot, then L(k+m, k) for m = 1 .. 8 - t, then U(k, k+m) for m = 1 .. 8 - t.
inline constexpr std::array<int, 7> kRecord = {0, 0, 15, 28, 39, 48, 55};

/// Slot of L(k+m, k) for group position t (m = 0: the pivot), m <= 8 - t.
inline constexpr int lslot(int t, int m) { return kRecord[t] + m; }
/// Slot of U(k, k+m) for group position t, 1 <= m <= 8 - t.
inline constexpr int uslot(int t, int m) { return kRecord[t] + 8 - t + m; }

static_assert(kRecord[6] + 1 + 2 * (8 - 6) == kGroupEntries, "records fill the group");

}  // namespace packed

/// LU factors of every strip of the grid (unit upper factor), one column per strip,
/// packed group by group of six unknowns so that a solve streams one contiguous array.
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
                Cx{}) {}

  int nx() const { return nx_; }
  int strips() const { return ny_; }
  int unknowns() const { return n_; }

  /// L(i, k) of strip s, i >= k (zero outside the element envelope).
  Cx lower(int i, int k, int s) const {
    SW_BOUNDS(k >= 1 && k <= i && i <= n_);
    const int t = position(k);
    return i - k <= 8 - t ? packedStrip(s)[group(k) + packed::lslot(t, i - k)] : Cx{};
  }
  /// U(k, i) of strip s, i > k (zero outside the element envelope).
  Cx upper(int k, int i, int s) const {
    SW_BOUNDS(k >= 1 && k < i && i <= n_);
    const int t = position(k);
    return i - k <= 8 - t ? packedStrip(s)[group(k) + packed::uslot(t, i - k)] : Cx{};
  }

  /// Packed entries of strip s: group g (0 .. nx) starts at entry 60 g.
  Cx* packedStrip(int s) {
    SW_BOUNDS(s >= 1 && s <= ny_);
    return packed_.data() + stripOffset(s);
  }
  const Cx* packedStrip(int s) const {
    SW_BOUNDS(s >= 1 && s <= ny_);
    return packed_.data() + stripOffset(s);
  }

 private:
  std::size_t stripOffset(int s) const {
    return static_cast<std::size_t>(groups_) * packed::kGroupEntries *
           static_cast<std::size_t>(s - 1);
  }
  /// Offset of the group of unknown k within its strip, and k's position in it.
  static std::size_t group(int k) {
    return static_cast<std::size_t>((k - 1) / 6) * packed::kGroupEntries;
  }
  static int position(int k) { return k - 6 * ((k - 1) / 6); }

  int nx_ = 0, ny_ = 0, n_ = 0, groups_ = 0;
  std::vector<Cx, LineAlignedAllocator<Cx>> packed_;
};

}  // namespace sw

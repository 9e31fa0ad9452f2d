#pragma once
/// Band storage of one strip's matrix, the LU factors of every strip, and the work
/// storage of one strip assembly and solve.

#include <array>
#include <cstddef>
#include <new>
#include <vector>

#include "driver/cx.hpp"
#include "driver/grid.hpp"

namespace sw {

/// Number of unknowns of a strip of n elements.
inline constexpr int stripUnknowns(int n) { return 6 * n + 2; }

/// Band matrix of one strip: a(i, j) = A(i, i + j - 8), rows i = 1 .. N, diagonals
/// j = 1 .. 15 (8 is the main diagonal), column-major.
class BandMatrix {
 public:
  BandMatrix() = default;
  explicit BandMatrix(int n) : rows_(stripUnknowns(n)), v_(static_cast<std::size_t>(rows_) * 15) {}
  int rows() const { return rows_; }
  Cx& operator()(int i, int j) {
    SW_ASSERT(i >= 1 && i <= rows_ && j >= 1 && j <= 15);
    return v_[static_cast<std::size_t>(i - 1) + static_cast<std::size_t>(rows_) * (j - 1)];
  }
  const Cx& operator()(int i, int j) const {
    SW_ASSERT(i >= 1 && i <= rows_ && j >= 1 && j <= 15);
    return v_[static_cast<std::size_t>(i - 1) + static_cast<std::size_t>(rows_) * (j - 1)];
  }
  /// Diagonal j as a contiguous array: entry i - 1 is a(i, j).
  Cx* diagonal(int j) {
    SW_ASSERT(j >= 1 && j <= 15);
    return v_.data() + static_cast<std::size_t>(rows_) * (j - 1);
  }
  const Cx* diagonal(int j) const {
    SW_ASSERT(j >= 1 && j <= 15);
    return v_.data() + static_cast<std::size_t>(rows_) * (j - 1);
  }
  void clear() { v_.assign(v_.size(), Cx{}); }

 private:
  int rows_ = 0;
  std::vector<Cx> v_;
};

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
    SW_ASSERT(s >= 1 && s <= ny_);
    return packed_.data() + stripOffset(s, packed::kGroupEntries);
  }
  const Cx* packedStrip(int s) const {
    SW_ASSERT(s >= 1 && s <= ny_);
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
    SW_ASSERT(m >= (upper ? 1 : 0) && m <= 7 && k >= 1 && k <= n_ - m && s >= 1 && s <= ny_);
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

/// Work storage of one strip assembly and solve.  One per strip solved at a time, so
/// that strips of one parity can be handled concurrently with identical results.
struct StripWork {
  BandMatrix a;
  std::vector<Cx> rhs, answer, y;  ///< entries 1 .. N (index 0 unused)

  StripWork() = default;
  explicit StripWork(int nx)
      : a(nx),
        rhs(static_cast<std::size_t>(stripUnknowns(nx)) + 1),
        answer(static_cast<std::size_t>(stripUnknowns(nx)) + 1),
        y(static_cast<std::size_t>(stripUnknowns(nx)) + 1) {}
};

}  // namespace sw

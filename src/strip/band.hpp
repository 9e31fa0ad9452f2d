#pragma once
/// Band storage of one strip's matrix, the LU factors of every strip, and the work
/// storage of one strip assembly and solve.

#include <array>
#include <cstddef>
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
  explicit BandMatrix(int n)
      : rows_(stripUnknowns(n)), v_(static_cast<std::size_t>(rows_) * 15) {}
  int rows() const { return rows_; }
  Cx& operator()(int i, int j) {
    SW_ASSERT(i >= 1 && i <= rows_ && j >= 1 && j <= 15);
    return v_[static_cast<std::size_t>(i - 1) + static_cast<std::size_t>(rows_) * (j - 1)];
  }
  const Cx& operator()(int i, int j) const {
    SW_ASSERT(i >= 1 && i <= rows_ && j >= 1 && j <= 15);
    return v_[static_cast<std::size_t>(i - 1) + static_cast<std::size_t>(rows_) * (j - 1)];
  }
  void clear() { v_.assign(v_.size(), Cx{}); }

 private:
  int rows_ = 0;
  std::vector<Cx> v_;
};

/// LU factors of every strip of the grid, one column per strip: xld(0) holds the
/// pivots L(k, k); xld(m) holds L(k+m, k) and u(m) holds U(k, k+m), m = 1 .. 7, with
/// N - m rows.  Positions outside the element envelope (holes) are never written.
class StripFactors {
 public:
  StripFactors() = default;
  StripFactors(int nx, int ny) : nx_(nx), ny_(ny), n_(stripUnknowns(nx)) {
    for (int m = 0; m <= 7; ++m) {
      const std::size_t size = static_cast<std::size_t>(n_ - m) * static_cast<std::size_t>(ny);
      xld_[m].assign(size, Cx{});
      if (m > 0) u_[m].assign(size, Cx{});
    }
  }

  int nx() const { return nx_; }
  int strips() const { return ny_; }
  int unknowns() const { return n_; }

  /// L(k+m, k) of strip s (m = 0: the pivot).
  Cx& xld(int m, int k, int s) { return at(xld_[m], m, k, s); }
  const Cx& xld(int m, int k, int s) const { return at(xld_[m], m, k, s); }
  /// U(k, k+m) of strip s, m = 1 .. 7.
  Cx& u(int m, int k, int s) { return at(u_[m], m, k, s); }
  const Cx& u(int m, int k, int s) const { return at(u_[m], m, k, s); }

 private:
  Cx& at(std::vector<Cx>& a, int m, int k, int s) {
    return a[offset(m, k, s)];
  }
  const Cx& at(const std::vector<Cx>& a, int m, int k, int s) const {
    return a[offset(m, k, s)];
  }
  std::size_t offset(int m, int k, int s) const {
    SW_ASSERT(m >= 0 && m <= 7 && k >= 1 && k <= n_ - m && s >= 1 && s <= ny_);
    return static_cast<std::size_t>(k - 1) + static_cast<std::size_t>(n_ - m) * (s - 1);
  }

  int nx_ = 0, ny_ = 0, n_ = 0;
  std::array<std::vector<Cx>, 8> xld_;
  std::array<std::vector<Cx>, 8> u_;  // u_[0] unused: U has a unit diagonal
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

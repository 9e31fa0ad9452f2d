#pragma once
/// Band storage of one strip's matrix.

#include <cstddef>
#include <vector>

#include "core/check.hpp"
#include "core/complex.hpp"
#include "strip/numbering.hpp"

namespace sw {

/// Band matrix of one strip: a(i, j) = A(i, i + j - 8), rows i = 1 .. N, diagonals
/// j = 1 .. 15 (8 is the main diagonal), column-major.
class BandMatrix {
 public:
  BandMatrix() = default;
  explicit BandMatrix(int n) : rows_(stripUnknowns(n)), v_(static_cast<std::size_t>(rows_) * 15) {}
  int rows() const { return rows_; }
  Cx& operator()(int i, int j) {
    SW_BOUNDS(i >= 1 && i <= rows_ && j >= 1 && j <= 15);
    return v_[static_cast<std::size_t>(i - 1) + static_cast<std::size_t>(rows_) * (j - 1)];
  }
  const Cx& operator()(int i, int j) const {
    SW_BOUNDS(i >= 1 && i <= rows_ && j >= 1 && j <= 15);
    return v_[static_cast<std::size_t>(i - 1) + static_cast<std::size_t>(rows_) * (j - 1)];
  }
  /// Diagonal j as a contiguous array: entry i - 1 is a(i, j).
  Cx* diagonal(int j) {
    SW_BOUNDS(j >= 1 && j <= 15);
    return v_.data() + static_cast<std::size_t>(rows_) * (j - 1);
  }
  const Cx* diagonal(int j) const {
    SW_BOUNDS(j >= 1 && j <= 15);
    return v_.data() + static_cast<std::size_t>(rows_) * (j - 1);
  }
  void clear() { v_.assign(v_.size(), Cx{}); }

 private:
  int rows_ = 0;
  std::vector<Cx> v_;
};

}  // namespace sw

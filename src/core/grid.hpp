#pragma once
/// Per-element and per-edge grid arrays with a one-element ghost frame.

#include <cstddef>
#include <vector>

#include "core/check.hpp"

namespace sw {

/// Grid array indexed (i, j) with i = 0 .. nx+1 along x and j = 0 .. ny+1 along y.
/// Indices 1 .. nx and 1 .. ny are the elements; 0 and nx+1 (ny+1) form the ghost
/// frame.  Storage is contiguous with i varying fastest; all entries start at zero.
template <class T>
class Grid {
 public:
  Grid() = default;
  Grid(int nx, int ny)
      : nx_(nx),
        ny_(ny),
        ld_(static_cast<std::size_t>(nx) + 2),
        v_(ld_ * (static_cast<std::size_t>(ny) + 2), T{}) {}

  int nx() const { return nx_; }
  int ny() const { return ny_; }

  /// True when (i, j) lies in the stored frame 0 .. nx+1 by 0 .. ny+1.
  bool inFrame(int i, int j) const { return i >= 0 && i <= nx_ + 1 && j >= 0 && j <= ny_ + 1; }

  T& operator()(int i, int j) {
    SW_BOUNDS(inFrame(i, j));
    return v_[static_cast<std::size_t>(i) + ld_ * static_cast<std::size_t>(j)];
  }
  const T& operator()(int i, int j) const {
    SW_BOUNDS(inFrame(i, j));
    return v_[static_cast<std::size_t>(i) + ld_ * static_cast<std::size_t>(j)];
  }

  /// Sets every entry, ghost frame included.
  void fill(const T& value) { v_.assign(v_.size(), value); }

  T* data() { return v_.data(); }
  const T* data() const { return v_.data(); }
  std::size_t size() const { return v_.size(); }

 private:
  int nx_ = 0;
  int ny_ = 0;
  std::size_t ld_ = 0;
  std::vector<T> v_;
};

/// Vector indexed from 1 .. n (entry 0 unused), the convention of the boundary vectors.
template <class T>
class Vec1 {
 public:
  Vec1() = default;
  explicit Vec1(int n) : v_(static_cast<std::size_t>(n) + 2, T{}) {}
  int size() const { return static_cast<int>(v_.size()) - 2; }
  T& operator()(int i) {
    SW_BOUNDS(i >= 0 && i < static_cast<int>(v_.size()));
    return v_[static_cast<std::size_t>(i)];
  }
  const T& operator()(int i) const {
    SW_BOUNDS(i >= 0 && i < static_cast<int>(v_.size()));
    return v_[static_cast<std::size_t>(i)];
  }
  void fill(const T& value) { v_.assign(v_.size(), value); }

 private:
  std::vector<T> v_;
};

}  // namespace sw

#pragma once
/// Restarted GMRES for the fixed point of an affine map S(x) = A x + c, that is for
/// (I - A) x = c, driven by the caller: the solver asks for products A v one at a time
/// (the caller applies the map without its constant part) and keeps the iterate in the
/// form x0 + V y.

#include <cstddef>
#include <vector>

#include "driver/cx.hpp"

namespace sw {

/// Restarted GMRES over vectors of n entries of T (double or Cx).  Orthogonalisation by
/// modified Gram-Schmidt with inner products summed in a fixed order; the residual
/// carried over a restart is the one of the least-squares problem, so no extra product
/// is needed.
template <class T>
class Gmres {
 public:
  Gmres(std::size_t n, int restart, int threads = 1);

  /// Starts from the point x with residual r = S(x) - x.  Returns |r|.
  double begin(const T* x, const T* r);

  /// The vector v whose product A v the solver needs next.
  const T* request() const;

  /// Takes av = A v for the vector of request() and returns the least-squares estimate
  /// of |S(x) - x| for the current iterate.
  double deliver(const T* av);

  /// Writes the current iterate.
  void current(T* x) const;

  std::size_t size() const { return n_; }
  std::size_t historyBytes() const;

 private:
  T* basis(int k) { return v_.data() + static_cast<std::size_t>(k) * n_; }
  const T* basis(int k) const { return v_.data() + static_cast<std::size_t>(k) * n_; }
  T& hess(int r, int c) { return h_[static_cast<std::size_t>(r * m_ + c)]; }
  /// Folds the k columns of this cycle into x0 and restarts from the estimated residual.
  void restartCycle();
  /// A new cycle from x0_ with residual r.
  double start(const T* r);
  void solveTriangle(int k, std::vector<T>& y) const;

  std::size_t n_;
  int m_;
  int threads_;
  std::vector<T> x0_, v_;  ///< start of the cycle and m + 1 basis vectors
  std::vector<T> h_, g_, cs_, sn_, scratch_, dots_;
  std::vector<T> w_, unrotated_;
  int k_ = 0;  ///< products taken in this cycle
  double beta_ = 0.0;
};

extern template class Gmres<double>;
extern template class Gmres<Cx>;

}  // namespace sw

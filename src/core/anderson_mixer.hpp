#pragma once
/// Anderson acceleration (type II) of a fixed-point iteration x = T(x) on a flat real or
/// complex vector.  The caller applies T; the mixer turns the point and its image into
/// the next point from a short history of earlier steps.

#include <cstddef>
#include <vector>

#include "core/complex.hpp"

namespace sw {

/// Parameters of the mixer.
struct AndersonSettings {
  int history = 10;               ///< m: differences kept (0: the plain iteration x + mixing f)
  double mixing = 1.0;            ///< weight of the residual f = T(x) - x in each step
  double regularisation = 1e-10;  ///< Tikhonov weight, relative to the mean of the Gram diagonal
  double restartGrowth = 1e2;     ///< history dropped when |f| exceeds this multiple of its minimum
};

/// Anderson mixer over vectors of n entries of T (double or Cx).  Step k takes x_k and
/// T(x_k) and returns
///   x_{k+1} = x_k + b f_k - sum_j g_j (dX_j + b dF_j),
/// f = T(x) - x, dX and dF the differences of successive points and residuals (the last
/// m of them, in a ring), g the regularised least-squares solution of min |f_k - dF g|.
/// Inner products are summed in a fixed order and the small system is solved serially,
/// so the points do not depend on the thread count.
template <class T>
class Anderson {
 public:
  Anderson(std::size_t n, const AndersonSettings& settings, int threads = 1);

  /// x holds the point T was applied at and tx its image; x is overwritten with the next
  /// point.  Returns |T(x) - x|^2.
  double step(T* x, const T* tx);

  /// Forgets the history: the next step is a plain one.
  void reset();

  std::size_t size() const { return n_; }
  int depth() const { return count_; }  ///< differences in use
  int restarts() const { return restarts_; }
  /// Bytes held for the differences and the previous point and residual.
  std::size_t historyBytes() const;

 private:
  T* column(std::vector<T>& v, int slot) { return v.data() + static_cast<std::size_t>(slot) * n_; }
  T& gram(int a, int b) { return gram_[static_cast<std::size_t>(a * m_ + b)]; }
  /// Slots ordered oldest first.
  int slotOf(int k) const { return (oldest_ + k) % m_; }
  bool solveLeastSquares();

  std::size_t n_;
  int m_;
  double mixing_, regularisation_, restartGrowth_;
  int threads_;

  std::vector<T> dF_, dG_;  ///< m columns each: dF and dX + mixing dF
  std::vector<T> xPrev_, fPrev_;
  std::vector<T> gram_;  ///< <dF_a, dF_b> by slot
  std::vector<T> rhs_, gamma_, chol_, scratch_, dots_;
  std::vector<T> weights_;     ///< gamma of the differences in use, oldest first
  std::vector<const T*> cols_;  ///< dF columns in use, oldest first, then the residual
  bool havePrev_ = false;
  int count_ = 0, oldest_ = 0, restarts_ = 0;
  double minResidual_ = -1.0;  ///< smallest |f| since the last restart (none yet)
};

extern template class Anderson<double>;
extern template class Anderson<Cx>;

}  // namespace sw

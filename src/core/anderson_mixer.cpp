#include "core/anderson_mixer.hpp"

#include <cmath>

#include "core/ordered_sums.hpp"

namespace sw {

template <class T>
Anderson<T>::Anderson(std::size_t n, const AndersonSettings& settings, int threads)
    : n_(n),
      m_(settings.history > 0 ? settings.history : 0),
      mixing_(settings.mixing),
      regularisation_(settings.regularisation),
      restartGrowth_(settings.restartGrowth),
      threads_(threads > 0 ? threads : 1),
      dF_(static_cast<std::size_t>(m_) * n),
      dG_(static_cast<std::size_t>(m_) * n),
      xPrev_(n),
      fPrev_(n),
      gram_(static_cast<std::size_t>(m_ * m_)),
      rhs_(static_cast<std::size_t>(m_)),
      gamma_(static_cast<std::size_t>(m_)),
      chol_(static_cast<std::size_t>(m_ * m_)),
      dots_(static_cast<std::size_t>(m_) + 1),
      weights_(static_cast<std::size_t>(m_)),
      cols_(static_cast<std::size_t>(m_) + 1) {}

template <class T>
std::size_t Anderson<T>::historyBytes() const {
  return (dF_.size() + dG_.size() + xPrev_.size() + fPrev_.size()) * sizeof(T);
}

template <class T>
void Anderson<T>::reset() {
  count_ = 0;
  oldest_ = 0;
  havePrev_ = false;
  minResidual_ = -1.0;
}

template <class T>
double Anderson<T>::step(T* x, const T* tx) {
  const long n = static_cast<long>(n_);
  int slot = -1;
  if (havePrev_ && m_ > 0) {
    if (count_ < m_) {
      slot = slotOf(count_);
      ++count_;
    } else {
      slot = oldest_;
      oldest_ = (oldest_ + 1) % m_;
    }
    T* df = column(dF_, slot);
    T* dg = column(dG_, slot);
    const double w = mixing_;
    // The new differences and the previous point and residual in one sweep.
#pragma omp parallel for schedule(static) num_threads(threads_)
    for (long i = 0; i < n; ++i) {
      const T f = tx[i] - x[i];
      df[i] = f - fPrev_[i];
      dg[i] = (x[i] - xPrev_[i]) + w * df[i];
      fPrev_[i] = f;
      xPrev_[i] = x[i];
    }
  } else {
#pragma omp parallel for schedule(static) num_threads(threads_)
    for (long i = 0; i < n; ++i) {
      fPrev_[i] = tx[i] - x[i];
      xPrev_[i] = x[i];
    }
    havePrev_ = true;
  }

  // Inner products of the columns and of the residual with the new column, and |f|^2.
  // The products of the older columns with the residual follow from those of the last
  // step: dF_k' f = dF_k' f_prev + dF_k' dF_new.
  for (int k = 0; k < count_; ++k) cols_[static_cast<std::size_t>(k)] = column(dF_, slotOf(k));
  cols_[static_cast<std::size_t>(count_)] = fPrev_.data();
  if (slot >= 0) {
    innerProducts(cols_.data(), count_ + 1, column(dF_, slot), n_, dots_.data(), scratch_,
                  threads_);
    for (int k = 0; k < count_; ++k) {
      const int s = slotOf(k);
      const T d = dots_[static_cast<std::size_t>(k)];
      gram(s, slot) = d;
      gram(slot, s) = conjOf(d);
      if (s != slot) rhs_[static_cast<std::size_t>(s)] += d;
    }
    rhs_[static_cast<std::size_t>(slot)] = conjOf(dots_[static_cast<std::size_t>(count_)]);
  }
  const double fnorm2 = squaredNorm(fPrev_.data(), n_, scratch_, threads_);

  // Safeguard: a residual far above the smallest one seen means the history misleads.
  const double fnorm = std::sqrt(fnorm2);
  if (minResidual_ < 0.0 || fnorm < minResidual_) minResidual_ = fnorm;
  bool useHistory = count_ > 0;
  if (useHistory && fnorm > restartGrowth_ * minResidual_) useHistory = false;
  if (useHistory && !solveLeastSquares()) useHistory = false;
  if (!useHistory && count_ > 0) {
    ++restarts_;
    count_ = 0;
    oldest_ = 0;
    minResidual_ = fnorm;
  }

  // Column by column, oldest difference first whatever the ring position: every entry
  // takes its terms in the same order as a sum written per entry.
  const double w = mixing_;
  // The terms of each entry are taken oldest difference first, all in one sweep over x.
  const int c = count_;
  T* g = weights_.data();
  const T** dg = cols_.data();
  for (int k = 0; k < c; ++k) {
    const int s = slotOf(k);
    g[k] = gamma_[static_cast<std::size_t>(s)];
    dg[k] = column(dG_, s);
  }
#pragma omp parallel for schedule(static) num_threads(threads_)
  for (long i = 0; i < n; ++i) {
    T xi = x[i] + w * fPrev_[i];
    for (int k = 0; k < c; ++k) xi -= g[k] * dg[k][i];
    x[i] = xi;
  }
  return fnorm2;
}

template <class T>
bool Anderson<T>::solveLeastSquares() {
  // (G + lambda I) g = rhs by Cholesky, G the Gram matrix of the columns, oldest first.
  const int c = count_;
  double trace = 0.0;
  for (int k = 0; k < c; ++k) trace += realPart(gram(slotOf(k), slotOf(k)));
  const double lambda = regularisation_ * trace / c;
  if (!(trace > 0.0) || !std::isfinite(trace)) return false;
  auto L = [&](int r, int q) -> T& { return chol_[static_cast<std::size_t>(r * m_ + q)]; };
  for (int j = 0; j < c; ++j) {
    double d = realPart(gram(slotOf(j), slotOf(j))) + lambda;
    for (int k = 0; k < j; ++k) d -= realPart(conjTimes(L(j, k), L(j, k)));
    if (!(d > 0.0)) return false;
    const double root = std::sqrt(d);
    L(j, j) = fromReal<T>(root);
    for (int i = j + 1; i < c; ++i) {
      T s = gram(slotOf(i), slotOf(j));
      for (int k = 0; k < j; ++k) s -= L(i, k) * conjOf(L(j, k));
      L(i, j) = s / root;
    }
  }
  std::vector<T> y(static_cast<std::size_t>(c));
  for (int i = 0; i < c; ++i) {
    T s = rhs_[static_cast<std::size_t>(slotOf(i))];
    for (int k = 0; k < i; ++k) s -= L(i, k) * y[static_cast<std::size_t>(k)];
    y[static_cast<std::size_t>(i)] = s / realPart(L(i, i));
  }
  for (int i = c - 1; i >= 0; --i) {
    T s = y[static_cast<std::size_t>(i)];
    for (int k = i + 1; k < c; ++k)
      s -= conjOf(L(k, i)) * gamma_[static_cast<std::size_t>(slotOf(k))];
    const T g = s / realPart(L(i, i));
    if (!std::isfinite(realPart(g)) || !std::isfinite(realPart(conjTimes(g, g)))) return false;
    gamma_[static_cast<std::size_t>(slotOf(i))] = g;
  }
  return true;
}

template class Anderson<double>;
template class Anderson<Cx>;

}  // namespace sw

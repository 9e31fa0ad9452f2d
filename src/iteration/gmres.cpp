#include "iteration/gmres.hpp"

#include <cmath>

#include "iteration/vector_ops.hpp"

namespace sw {

namespace {

double modulus(double a) { return std::fabs(a); }
double modulus(Cx a) { return abs(a); }

}  // namespace

template <class T>
Gmres<T>::Gmres(std::size_t n, int restart, int threads)
    : n_(n),
      m_(restart > 0 ? restart : 1),
      threads_(threads > 0 ? threads : 1),
      x0_(n),
      v_(static_cast<std::size_t>(m_ + 1) * n),
      h_(static_cast<std::size_t>((m_ + 1) * m_)),
      g_(static_cast<std::size_t>(m_ + 1)),
      cs_(static_cast<std::size_t>(m_)),
      sn_(static_cast<std::size_t>(m_)),
      w_(n) {}

template <class T>
std::size_t Gmres<T>::historyBytes() const {
  return (x0_.size() + v_.size() + w_.size()) * sizeof(T);
}

template <class T>
double Gmres<T>::begin(const T* x, const T* r) {
  const long n = static_cast<long>(n_);
  for (long i = 0; i < n; ++i) x0_[static_cast<std::size_t>(i)] = x[i];
  return start(r);
}

template <class T>
double Gmres<T>::start(const T* r) {
  const long n = static_cast<long>(n_);
  beta_ = std::sqrt(squaredNorm(r, n_, scratch_, threads_));
  T* v = basis(0);
  const double inv = beta_ > 0.0 ? 1.0 / beta_ : 0.0;
#pragma omp parallel for schedule(static) num_threads(threads_)
  for (long i = 0; i < n; ++i) v[i] = inv * r[i];
  for (auto& e : g_) e = T{};
  g_[0] = fromReal<T>(beta_);
  k_ = 0;
  return beta_;
}

template <class T>
const T* Gmres<T>::request() const {
  return basis(k_);
}

template <class T>
double Gmres<T>::deliver(const T* av) {
  const long n = static_cast<long>(n_);
  const int k = k_;
  const T* vk = basis(k);
  T* w = basis(k + 1);
#pragma omp parallel for schedule(static) num_threads(threads_)
  for (long i = 0; i < n; ++i) w[i] = vk[i] - av[i];

  // Modified Gram-Schmidt, one basis vector at a time.
  for (int j = 0; j <= k; ++j) {
    const T* vj = basis(j);
    const T* cols[1] = {vj};
    T d[1];
    innerProducts(cols, 1, w, n_, d, scratch_, threads_);
    hess(j, k) = d[0];
#pragma omp parallel for schedule(static) num_threads(threads_)
    for (long i = 0; i < n; ++i) w[i] -= d[0] * vj[i];
  }
  const double hn = std::sqrt(squaredNorm(w, n_, scratch_, threads_));
  hess(k + 1, k) = fromReal<T>(hn);
  if (hn > 0.0) {
    const double inv = 1.0 / hn;
#pragma omp parallel for schedule(static) num_threads(threads_)
    for (long i = 0; i < n; ++i) w[i] = inv * w[i];
  }

  // Unrotated column kept for the restart residual; the rotations act on a copy.
  if (unrotated_.size() != h_.size()) unrotated_.assign(h_.size(), T{});
  for (int j = 0; j <= k + 1; ++j) unrotated_[static_cast<std::size_t>(j * m_ + k)] = hess(j, k);
  for (int j = 0; j < k; ++j) {
    const T a = hess(j, k), b = hess(j + 1, k);
    hess(j, k) =
        realPart(cs_[static_cast<std::size_t>(j)]) * a + sn_[static_cast<std::size_t>(j)] * b;
    hess(j + 1, k) = realPart(cs_[static_cast<std::size_t>(j)]) * b -
                     conjOf(sn_[static_cast<std::size_t>(j)]) * a;
  }
  const T a = hess(k, k);
  const double an = modulus(a);
  const double r = std::hypot(an, hn);
  T c = fromReal<T>(1.0), s = T{};
  if (r > 0.0) {
    c = fromReal<T>(an / r);
    const T phase = an > 0.0 ? a / an : fromReal<T>(1.0);
    s = (hn / r) * phase;  // conj(b) with b = hn real
  }
  cs_[static_cast<std::size_t>(k)] = c;
  sn_[static_cast<std::size_t>(k)] = s;
  hess(k, k) = realPart(c) * a + s * fromReal<T>(hn);
  hess(k + 1, k) = T{};
  const T gk = g_[static_cast<std::size_t>(k)];
  g_[static_cast<std::size_t>(k)] = realPart(c) * gk;
  g_[static_cast<std::size_t>(k + 1)] = T{} - conjOf(s) * gk;
  k_ = k + 1;
  const double estimate = modulus(g_[static_cast<std::size_t>(k + 1)]);
  if (k_ == m_) restartCycle();
  return estimate;
}

template <class T>
void Gmres<T>::solveTriangle(int k, std::vector<T>& y) const {
  y.assign(static_cast<std::size_t>(k), T{});
  for (int i = k - 1; i >= 0; --i) {
    T s = g_[static_cast<std::size_t>(i)];
    for (int j = i + 1; j < k; ++j)
      s -= h_[static_cast<std::size_t>(i * m_ + j)] * y[static_cast<std::size_t>(j)];
    y[static_cast<std::size_t>(i)] = s / h_[static_cast<std::size_t>(i * m_ + i)];
  }
}

template <class T>
void Gmres<T>::current(T* x) const {
  std::vector<T> y;
  solveTriangle(k_, y);
  const long n = static_cast<long>(n_);
  const int k = k_;
#pragma omp parallel for schedule(static) num_threads(threads_)
  for (long i = 0; i < n; ++i) {
    T s = x0_[static_cast<std::size_t>(i)];
    for (int j = 0; j < k; ++j) s += y[static_cast<std::size_t>(j)] * basis(j)[i];
    x[i] = s;
  }
}

template <class T>
void Gmres<T>::restartCycle() {
  const int k = k_;
  std::vector<T> y;
  solveTriangle(k, y);
  // Residual of the least-squares solution: V (beta e1 - H y), H unrotated.
  std::vector<T> coef(static_cast<std::size_t>(k + 1));
  for (int i = 0; i <= k; ++i) {
    T s = i == 0 ? fromReal<T>(beta_) : T{};
    for (int j = 0; j < k; ++j)
      s -= unrotated_[static_cast<std::size_t>(i * m_ + j)] * y[static_cast<std::size_t>(j)];
    coef[static_cast<std::size_t>(i)] = s;
  }
  const long n = static_cast<long>(n_);
#pragma omp parallel for schedule(static) num_threads(threads_)
  for (long i = 0; i < n; ++i) {
    T s = x0_[static_cast<std::size_t>(i)];
    T r{};
    for (int j = 0; j < k; ++j) s += y[static_cast<std::size_t>(j)] * basis(j)[i];
    for (int j = 0; j <= k; ++j) r += coef[static_cast<std::size_t>(j)] * basis(j)[i];
    x0_[static_cast<std::size_t>(i)] = s;
    w_[static_cast<std::size_t>(i)] = r;
  }
  start(w_.data());
}

template class Gmres<double>;
template class Gmres<Cx>;

}  // namespace sw

// Anderson mixing on small affine fixed-point problems x = A x + c, real and complex,
// against the direct solution of (I - A) x = c; order-fixed sums.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "core/anderson_mixer.hpp"
#include "core/ordered_sums.hpp"

namespace sw {
namespace {

double modulus(double a) { return std::fabs(a); }
double modulus(Cx a) { return abs(a); }

template <class T>
T randomValue(std::mt19937_64& g, double lo, double hi);
template <>
double randomValue<double>(std::mt19937_64& g, double lo, double hi) {
  return std::uniform_real_distribution<double>(lo, hi)(g);
}
template <>
Cx randomValue<Cx>(std::mt19937_64& g, double lo, double hi) {
  const double re = randomValue<double>(g, lo, hi);
  return Cx{re, randomValue<double>(g, lo, hi)};
}

/// An affine map x -> A x + c of order n: a random matrix scaled to a given spectral
/// bound `radius` (through its row sums), plus `shift` on the diagonal.
template <class T>
struct AffineMap {
  int n;
  std::vector<T> a, c;

  AffineMap(int n_, double radius, double shift, std::uint64_t seed) : n(n_), a(n_ * n_), c(n_) {
    std::mt19937_64 g(seed);
    for (auto& e : a) e = randomValue<T>(g, -1.0, 1.0);
    double rowMax = 0.0;
    for (int i = 0; i < n; ++i) {
      double s = 0.0;
      for (int j = 0; j < n; ++j) s += modulus(a[i * n + j]);
      rowMax = std::max(rowMax, s);
    }
    for (auto& e : a) e = (radius / rowMax) * e;
    for (int i = 0; i < n; ++i) a[i * n + i] += fromReal<T>(shift);
    for (auto& e : c) e = randomValue<T>(g, -1.0, 1.0);
  }

  /// y = A x + c.
  void apply(const T* x, T* y) const {
    for (int i = 0; i < n; ++i) {
      T s = c[i];
      for (int j = 0; j < n; ++j) s += a[i * n + j] * x[j];
      y[i] = s;
    }
  }

  /// The fixed point, by Gaussian elimination with partial pivoting on (I - A) x = c.
  std::vector<T> fixedPoint() const {
    std::vector<T> m(n * n), x(c);
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) m[i * n + j] = (i == j ? fromReal<T>(1.0) : T{}) - a[i * n + j];
    for (int k = 0; k < n; ++k) {
      int p = k;
      for (int i = k + 1; i < n; ++i)
        if (modulus(m[i * n + k]) > modulus(m[p * n + k])) p = i;
      for (int j = 0; j < n; ++j) std::swap(m[k * n + j], m[p * n + j]);
      std::swap(x[k], x[p]);
      for (int i = k + 1; i < n; ++i) {
        const T f = m[i * n + k] / m[k * n + k];
        for (int j = k; j < n; ++j) m[i * n + j] -= f * m[k * n + j];
        x[i] -= f * x[k];
      }
    }
    for (int i = n - 1; i >= 0; --i) {
      T s = x[i];
      for (int j = i + 1; j < n; ++j) s -= m[i * n + j] * x[j];
      x[i] = s / m[i * n + i];
    }
    return x;
  }
};

template <class T>
double distance(const std::vector<T>& x, const std::vector<T>& y) {
  double num = 0.0, den = 0.0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    num += modulus(x[i] - y[i]) * modulus(x[i] - y[i]);
    den += modulus(y[i]) * modulus(y[i]);
  }
  return std::sqrt(num / den);
}

/// Steps of Anderson (or of the plain iteration, history 0, mixing 1) until the
/// relative residual |A x + c - x| / |x| falls below tol; -1 if not within maxSteps.
template <class T>
int stepsToConverge(const AffineMap<T>& map, const AndersonSettings& s, double tol, int maxSteps,
                    std::vector<T>& x) {
  Anderson<T> mixer(map.n, s);
  x.assign(map.n, T{});
  std::vector<T> tx(map.n);
  for (int k = 1; k <= maxSteps; ++k) {
    map.apply(x.data(), tx.data());
    double r = 0.0, nx = 0.0;
    for (int i = 0; i < map.n; ++i) {
      r += modulus(tx[i] - x[i]) * modulus(tx[i] - x[i]);
      nx += modulus(tx[i]) * modulus(tx[i]);
    }
    if (std::sqrt(r) <= tol * std::sqrt(nx)) return k;
    mixer.step(x.data(), tx.data());
  }
  return -1;
}

template <class T>
class AndersonMixer : public ::testing::Test {};
using Scalars = ::testing::Types<double, Cx>;
TYPED_TEST_SUITE(AndersonMixer, Scalars);

TYPED_TEST(AndersonMixer, AndersonWithFullHistoryEndsWithinOrderPlusTwoSteps) {
  // Type-II Anderson with a history at least the order is a Krylov method on an affine
  // map: it finds the fixed point in n + 1 applications, rounding aside.  A spectrum
  // beyond the unit circle (the plain iteration diverges) makes no difference.
  for (const double radius : {0.5, 1.8}) {
    const AffineMap<TypeParam> map(8, radius, 0.0, 11);
    std::vector<TypeParam> x;
    const int steps = stepsToConverge(map, AndersonSettings{12, 1.0, 0.0, 1e30}, 1e-11, 30, x);
    EXPECT_GT(steps, 0) << radius;
    EXPECT_LE(steps, 8 + 2) << radius;
    EXPECT_LT(distance(x, map.fixedPoint()), 1e-9) << radius;
  }
}

TYPED_TEST(AndersonMixer, AndersonBeatsThePlainIterationOnASlowContraction) {
  // Eigenvalues clustered near 0.97: the plain iteration needs hundreds of steps.
  const AffineMap<TypeParam> map(60, 0.02, 0.95, 12);
  std::vector<TypeParam> plain, mixed;
  const int plainSteps =
      stepsToConverge(map, AndersonSettings{0, 1.0, 0.0, 1e2}, 1e-10, 5000, plain);
  const int mixedSteps = stepsToConverge(map, AndersonSettings{}, 1e-10, 5000, mixed);
  ASSERT_GT(plainSteps, 0);
  ASSERT_GT(mixedSteps, 0);
  EXPECT_LT(5 * mixedSteps, plainSteps);
  EXPECT_LT(distance(mixed, map.fixedPoint()), 1e-8);
}

TYPED_TEST(AndersonMixer, AndersonWithoutHistoryIsThePlainMixedStep) {
  const AffineMap<TypeParam> map(5, 0.7, 0.0, 13);
  Anderson<TypeParam> mixer(5, AndersonSettings{0, 0.7, 1e-10, 1e2});
  std::vector<TypeParam> x(5), tx(5), expect(5);
  for (int i = 0; i < 5; ++i) x[i] = map.c[4 - i];
  for (int k = 0; k < 3; ++k) {
    map.apply(x.data(), tx.data());
    for (int i = 0; i < 5; ++i) expect[i] = x[i] + 0.7 * (tx[i] - x[i]);
    mixer.step(x.data(), tx.data());
    for (int i = 0; i < 5; ++i) EXPECT_EQ(realPart(x[i]), realPart(expect[i]));
  }
  EXPECT_EQ(mixer.depth(), 0);
}

TYPED_TEST(AndersonMixer, ResetForgetsTheHistoryAndTheRingKeepsTheLastM) {
  const AffineMap<TypeParam> map(20, 0.9, 0.0, 14);
  Anderson<TypeParam> mixer(20, AndersonSettings{3, 1.0, 1e-10, 1e30});
  std::vector<TypeParam> x(20), tx(20);
  for (int k = 0; k < 6; ++k) {
    map.apply(x.data(), tx.data());
    mixer.step(x.data(), tx.data());
    EXPECT_EQ(mixer.depth(), std::min(k, 3));
  }
  mixer.reset();
  map.apply(x.data(), tx.data());
  std::vector<TypeParam> expect(20);
  for (int i = 0; i < 20; ++i) expect[i] = tx[i];
  mixer.step(x.data(), tx.data());
  EXPECT_EQ(mixer.depth(), 0);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(modulus(x[i] - expect[i]), 0.0);
  EXPECT_EQ(mixer.historyBytes(), (2 * 3 + 2) * 20 * sizeof(TypeParam));
}

TYPED_TEST(AndersonMixer, AGrowingResidualRestartsTheHistory) {
  // A map that is not affine: its image jumps far away after a few steps, so the
  // residual grows beyond the allowed multiple of its minimum.
  Anderson<TypeParam> mixer(4, AndersonSettings{5, 1.0, 1e-10, 10.0});
  std::vector<TypeParam> x(4), tx(4);
  for (int k = 0; k < 8; ++k) {
    for (int i = 0; i < 4; ++i) tx[i] = 0.5 * x[i] + fromReal<TypeParam>(k == 5 ? 1e6 : 1.0 + i);
    mixer.step(x.data(), tx.data());
  }
  EXPECT_EQ(mixer.restarts(), 1);
}

TEST(OrderedSums, InnerProductsDoNotDependOnTheThreadCount) {
  const std::size_t n = 3 * kReductionBlock + 17;
  std::mt19937_64 g(16);
  std::vector<Cx> a(n), b(n), v(n);
  for (std::size_t i = 0; i < n; ++i) {
    a[i] = randomValue<Cx>(g, -1.0, 1.0);
    b[i] = randomValue<Cx>(g, -1e3, 1e3);
    v[i] = randomValue<Cx>(g, -1e-3, 1e-3);
  }
  const Cx* cols[2] = {a.data(), b.data()};
  std::vector<Cx> scratch;
  Cx serial[2], parallel[2];
  innerProducts(cols, 2, v.data(), n, serial, scratch, 1);
  for (const int threads : {2, 3, 4}) {
    innerProducts(cols, 2, v.data(), n, parallel, scratch, threads);
    EXPECT_EQ(std::memcmp(serial, parallel, sizeof serial), 0) << threads;
  }
  // conj(a) v, summed in blocks.
  Cx s{};
  for (std::size_t i = 0; i < n; ++i)
    s += Cx{a[i].re * v[i].re + a[i].im * v[i].im, a[i].re * v[i].im - a[i].im * v[i].re};
  EXPECT_NEAR(serial[0].re, s.re, 1e-12 * abs(s) + 1e-15);
  EXPECT_NEAR(serial[0].im, s.im, 1e-12 * abs(s) + 1e-15);
}

TEST(OrderedSums, AndersonStepsDoNotDependOnTheThreadCount) {
  const std::size_t n = 2 * kReductionBlock + 5;
  std::mt19937_64 g(17);
  std::vector<Cx> diag(n), c(n);
  for (std::size_t i = 0; i < n; ++i) {
    diag[i] = randomValue<Cx>(g, -0.9, 0.9);
    c[i] = randomValue<Cx>(g, -1.0, 1.0);
  }
  auto run = [&](int threads) {
    Anderson<Cx> mixer(n, AndersonSettings{}, threads);
    std::vector<Cx> x(n), tx(n);
    for (int k = 0; k < 12; ++k) {
      for (std::size_t i = 0; i < n; ++i) tx[i] = diag[i] * x[i] + c[i];
      mixer.step(x.data(), tx.data());
    }
    return x;
  };
  const std::vector<Cx> serial = run(1);
  for (const int threads : {2, 3})
    EXPECT_EQ(std::memcmp(serial.data(), run(threads).data(), n * sizeof(Cx)), 0) << threads;
}

}  // namespace
}  // namespace sw

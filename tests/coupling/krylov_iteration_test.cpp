// GMRES on the fixed point of a pass, checked on affine maps whose plain iteration
// diverges: the iterate against the exact fixed point, the passes told, the limit kept,
// and the points independent of the thread count.

#include "coupling/krylov_iteration.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

using sw::Cx;

/// P(x) = M x + b with M lower bidiagonal: M x_k = lambda_k x_k + c x_{k-1} (c small enough
/// for I - M to be well conditioned), the lambda_k
/// on the circle of radius 0.8 about 2 (so |lambda_k| >= 1.2: the plain iteration
/// diverges, while the spectrum of I - M, about -1, keeps clear of the origin).
struct BidiagonalMap {
  std::size_t n;
  double c;
  std::vector<Cx> lambda, b, x, prev;

  BidiagonalMap(std::size_t size, double coupling, double centre = 2.0, double radius = 0.8)
      : n(size), c(coupling), lambda(size), b(size), x(size), prev(size) {
    for (std::size_t k = 0; k < n; ++k) {
      const double t = 6.283185307179586 * static_cast<double>(k) / static_cast<double>(n);
      lambda[k] = Cx{centre + radius * std::cos(t), radius * std::sin(t)};
      b[k] = Cx{std::cos(0.37 * static_cast<double>(k)), 1.0 + std::sin(0.11 * static_cast<double>(k))};
    }
  }

  sw::Change pass(bool measure) {
    prev = x;
    for (std::size_t k = n; k-- > 0;) {
      Cx v = lambda[k] * prev[k] + b[k];
      if (k > 0) v += c * prev[k - 1];
      x[k] = v;
    }
    sw::Change ch;
    if (measure)
      for (std::size_t k = 0; k < n; ++k) {
        const Cx d = prev[k] - x[k], s = prev[k] + x[k];
        ch.errnum += d.re * d.re + d.im * d.im;
        ch.errden += s.re * s.re + s.im * s.im;
      }
    return ch;
  }

  /// The fixed point: (1 - lambda_k) x_k - c x_{k-1} = b_k by forward substitution.
  std::vector<Cx> fixedPoint() const {
    std::vector<Cx> s(n);
    for (std::size_t k = 0; k < n; ++k) {
      Cx r = b[k];
      if (k > 0) r += c * s[k - 1];
      s[k] = r / (Cx{1.0, 0.0} - lambda[k]);
    }
    return s;
  }

  sw::CarriedAccess access() {
    return {n, [this](Cx* out) { std::memcpy(out, x.data(), n * sizeof(Cx)); },
            [this](const Cx* in) { std::memcpy(x.data(), in, n * sizeof(Cx)); }};
  }
};

class Passes final : public sw::PassObserver {
 public:
  void pass(int iter, double relerr, double) override {
    iters.push_back(iter);
    last = relerr;
  }
  std::vector<int> iters;
  double last = -1.0;
};

double relativeDistance(const std::vector<Cx>& a, const std::vector<Cx>& b) {
  double num = 0.0, den = 0.0;
  for (std::size_t k = 0; k < a.size(); ++k) {
    const Cx d = a[k] - b[k];
    num += d.re * d.re + d.im * d.im;
    den += b[k].re * b[k].re + b[k].im * b[k].im;
  }
  return std::sqrt(num / den);
}

sw::IterationResult runKrylov(BidiagonalMap& map, int maxit, double reduc, int threads,
                              int restart, Passes& seen) {
  sw::KrylovIteration gmres(map.n, sw::KrylovSettings{restart}, threads);
  sw::IterationControl ctl;
  ctl.maxit = maxit;
  ctl.reduc = reduc;
  ctl.threads = threads;
  const sw::Pass pass = [&](bool measure) { return map.pass(measure); };
  return gmres.iterate(7, ctl, pass, map.access(), seen);
}

TEST(KrylovIteration, ReachesTheFixedPointOfAMapThePlainIterationDivergesOn) {
  BidiagonalMap plain(300, 0.1);
  sw::IterationControl ctl;
  ctl.maxit = 200;
  ctl.reduc = 1e-12;
  Passes ignored;
  const sw::IterationResult p =
      sw::iteratePasses(7, ctl, [&](bool m) { return plain.pass(m); }, ignored);
  EXPECT_FALSE(p.converged);

  for (const int restart : {20, 40}) {
    SCOPED_TRACE(restart);
    BidiagonalMap map(300, 0.1);
    Passes seen;
    const sw::IterationResult r = runKrylov(map, 2000, 1e-12, 1, restart, seen);
    ASSERT_TRUE(r.converged);
    EXPECT_LE(r.passes, 400);
    EXPECT_LT(relativeDistance(map.x, map.fixedPoint()), 1e-10);
    // Every pass told once, in order, and the last one is the plain pass that converged.
    ASSERT_EQ(seen.iters.size(), static_cast<std::size_t>(r.passes));
    for (std::size_t k = 0; k < seen.iters.size(); ++k)
      EXPECT_EQ(seen.iters[k], static_cast<int>(k) + 1);
    EXPECT_LT(seen.last, 1e-12);
  }
}

TEST(KrylovIteration, RestartsFromItsIterateWhereThePassAmplifiesTheResidual) {
  // |lambda| up to 10: a cycle that restarted from the image of its iterate would start
  // with a residual up to ten times its own; short cycles would then never converge.
  BidiagonalMap map(200, 0.1, 6.0, 4.0);
  Passes seen;
  const sw::IterationResult r = runKrylov(map, 3000, 1e-12, 1, 5, seen);
  ASSERT_TRUE(r.converged);
  EXPECT_LT(relativeDistance(map.x, map.fixedPoint()), 1e-10);
}

TEST(KrylovIteration, ConvergesOnItsMeasuredPassWhenNothingIsCarried) {
  // One strip carries nothing between passes: its first pass is its solution, and the
  // measured pass after it finds no change.
  BidiagonalMap map(50, 0.0);
  std::fill(map.lambda.begin(), map.lambda.end(), Cx{0.0, 0.0});
  const sw::CarriedAccess nothing{0, [](Cx*) {}, [](const Cx*) {}};
  sw::KrylovIteration gmres(0, sw::KrylovSettings{}, 1);
  sw::IterationControl ctl;
  ctl.maxit = 50;
  ctl.reduc = 1e-12;
  Passes seen;
  const sw::Pass pass = [&](bool measure) { return map.pass(measure); };
  const sw::IterationResult r = gmres.iterate(3, ctl, pass, nothing, seen);
  EXPECT_TRUE(r.converged);
  EXPECT_EQ(r.passes, 3);
  EXPECT_EQ(std::memcmp(map.x.data(), map.b.data(), map.n * sizeof(Cx)), 0);
}

TEST(KrylovIteration, KeepsThePassLimitAndEndsOnTheImageOfItsIterate) {
  // A limit inside a cycle: the fields end as the image of GMRES's iterate, not of a
  // state the method probed.
  for (const int maxit : {1, 2, 3, 17, 45, 130}) {
    SCOPED_TRACE(maxit);
    BidiagonalMap map(300, 0.1);
    Passes seen;
    const sw::IterationResult r = runKrylov(map, maxit, 1e-14, 1, 40, seen);
    EXPECT_FALSE(r.converged);
    EXPECT_EQ(r.passes, maxit);
    EXPECT_EQ(seen.iters.size(), static_cast<std::size_t>(maxit));
    const double distance = relativeDistance(map.x, map.fixedPoint());
    EXPECT_TRUE(std::isfinite(distance));
    if (maxit >= 45) EXPECT_LT(distance, 1e-2);
    if (maxit >= 130) EXPECT_LT(distance, 1e-8);
  }
}

TEST(KrylovIteration, PointsDoNotDependOnTheThreadCount) {
  // Long enough for several blocks of the ordered sums.
  std::vector<std::vector<Cx>> results;
  std::vector<int> passes;
  for (const int threads : {1, 2, 3}) {
    BidiagonalMap map(20011, 0.1);
    Passes seen;
    const sw::IterationResult r = runKrylov(map, 150, 1e-11, threads, 30, seen);
    EXPECT_TRUE(r.converged);
    EXPECT_LT(relativeDistance(map.x, map.fixedPoint()), 1e-9);
    results.push_back(map.x);
    passes.push_back(r.passes);
  }
  for (std::size_t t = 1; t < results.size(); ++t) {
    EXPECT_EQ(passes[t], passes[0]);
    EXPECT_EQ(std::memcmp(results[t].data(), results[0].data(), results[0].size() * sizeof(Cx)), 0);
  }
}

}  // namespace

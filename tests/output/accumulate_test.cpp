#include "output/accumulate.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "output/fourier.hpp"

namespace sw {
namespace {

/// The same value on all four edges of element (i, j), so that its mean is `a`.
void setElement(EdgeQuantity& u, int i, int j, Cx a) {
  u.l(i, j) = u.t(i, j) = u.b(i, j) = u.r(i, j) = a;
}

Vec1<int> list(std::initializer_list<int> values) {
  Vec1<int> v(static_cast<int>(values.size()));
  int k = 1;
  for (int x : values) v(k++) = x;
  return v;
}

TEST(Finvpic2, NoSnapshotsChangesNothing) {
  const int nx = 2, ny = 2;
  EdgeFields cur(nx, ny);
  setElement(cur.u1, 1, 1, Cx{1.0, 2.0});
  setElement(cur.u2, 2, 2, Cx{-1.0, 0.5});
  Accumulators acc(nx, ny, 2, 4, 1);
  for (double& t : acc.tpic1) t = 3.25;
  for (double& t : acc.tpic2) t = -1.5;
  finvpic2(2, nx, ny, cur, acc, 0, list({5, 9}), 0.01, 0.3);
  for (double t : acc.tpic1) EXPECT_EQ(t, 3.25);
  for (double t : acc.tpic2) EXPECT_EQ(t, -1.5);
}

TEST(Finvpic2, UnitMeanAtFirstIndexGivesMinusWSinWt) {
  const int nx = 1, ny = 1;
  const double delw = 3.0, dt = 0.05;
  const double w = 0.5 * delw;
  EdgeFields cur(nx, ny);
  setElement(cur.u1, 1, 1, Cx{1.0, 0.0});
  Accumulators acc(nx, ny, 3, 1, 0);
  const Vec1<int> itsnap = list({1, 4, 11});
  finvpic2(1, nx, ny, cur, acc, 3, itsnap, dt, delw);
  for (int k = 1; k <= 3; ++k) {
    const double t = (itsnap(k) - 1) * dt;
    EXPECT_DOUBLE_EQ(acc.tpic(1, 1, 1, k), -w * std::sin(w * t)) << k;
    EXPECT_EQ(acc.tpic(2, 1, 1, k), 0.0) << k;
  }
}

TEST(Finvpic2, SnapshotAtTimeZeroIsMinusWTimesImaginaryMean) {
  const int nx = 1, ny = 1;
  const double delw = 0.4;
  const int jw = 3;
  const double w = 2.5 * delw;
  EdgeFields cur(nx, ny);
  setElement(cur.u2, 1, 1, Cx{0.3, 0.7});
  Accumulators acc(nx, ny, 1, 3, 0);
  finvpic2(jw, nx, ny, cur, acc, 1, list({1}), 0.01, delw);
  EXPECT_EQ(acc.tpic(2, 1, 1, 1), -(0.7 * w));
}

TEST(Finvpic2, MeanOfTheFourEdges) {
  const int nx = 1, ny = 1;
  EdgeFields cur(nx, ny);
  cur.u1.l(1, 1) = Cx{0.0, 1.0};
  cur.u1.t(1, 1) = Cx{0.0, 2.0};
  cur.u1.b(1, 1) = Cx{0.0, 3.0};
  cur.u1.r(1, 1) = Cx{0.0, 6.0};  // mean 3i
  Accumulators acc(nx, ny, 1, 1, 0);
  finvpic2(1, nx, ny, cur, acc, 1, list({1}), 0.01, 2.0);  // w = 1
  EXPECT_EQ(acc.tpic(1, 1, 1, 1), -3.0);
}

TEST(Finvpic2, ElementsAndComponentsLandInTheirOwnEntries) {
  const int nx = 3, ny = 2;
  EdgeFields cur(nx, ny);
  setElement(cur.u1, 2, 1, Cx{0.0, 1.0});
  setElement(cur.u2, 3, 2, Cx{0.0, 2.0});
  Accumulators acc(nx, ny, 2, 1, 0);
  finvpic2(1, nx, ny, cur, acc, 2, list({1, 1}), 0.01, 2.0);  // w = 1, time 0: Re v = -Im a
  for (int k = 1; k <= 2; ++k) {
    for (int j = 1; j <= ny; ++j) {
      for (int i = 1; i <= nx; ++i) {
        EXPECT_EQ(acc.tpic(1, i, j, k), (i == 2 && j == 1) ? -1.0 : 0.0) << i << j << k;
        EXPECT_EQ(acc.tpic(2, i, j, k), (i == 3 && j == 2) ? -2.0 : 0.0) << i << j << k;
      }
    }
  }
}

TEST(Finvpic2, TermsAddUpAcrossFrequencies) {
  const int nx = 1, ny = 1;
  EdgeFields cur(nx, ny);
  setElement(cur.u1, 1, 1, Cx{0.0, 1.0});
  Accumulators acc(nx, ny, 1, 2, 0);
  finvpic2(2, nx, ny, cur, acc, 1, list({1}), 0.01, 2.0);  // w = 3: -3
  finvpic2(1, nx, ny, cur, acc, 1, list({1}), 0.01, 2.0);  // w = 1: -1
  EXPECT_EQ(acc.tpic(1, 1, 1, 1), -4.0);
}

TEST(Finvpic2, SmallMeansContributeExactlyZero) {
  const double small = 9.9999998245167e-15;
  ASSERT_EQ(static_cast<double>(1.0e-14f), small);
  const int nx = 3, ny = 1;
  EdgeFields cur(nx, ny);
  // Element 1: modulus just below the threshold (split over both parts).
  setElement(cur.u1, 1, 1, Cx{0.6 * small, 0.79 * small});
  // Element 2: exactly the threshold, which is kept (four times the value on one edge
  // only, so that the mean is exact).
  cur.u1.l(2, 1) = Cx{0.0, 4.0 * small};
  // Element 3: just below it, on one part only.
  cur.u1.l(3, 1) = Cx{0.0, 4.0 * std::nextafter(small, 0.0)};
  Accumulators acc(nx, ny, 2, 1, 3);
  finvpic2(1, nx, ny, cur, acc, 2, list({1, 3}), 0.5, 2.0);
  for (int k = 1; k <= 2; ++k) {
    EXPECT_EQ(acc.tpic(1, 1, 1, k), 0.0) << k;
    EXPECT_EQ(acc.tpic(1, 3, 1, k), 0.0) << k;
  }
  EXPECT_EQ(acc.tpic(1, 2, 1, 1), -small);

  savtrace(3, 1, 2.0, list({1, 2, 3}), list({1, 1, 1}), acc, cur);
  EXPECT_EQ(acc.fu(1, 1, 1), Cx{});
  EXPECT_EQ(acc.fu(1, 1, 2), (Cx{-small, 0.0}));
  EXPECT_EQ(acc.fu(1, 1, 3), Cx{});
}

TEST(Finvpic2, NotANumberIsKept) {
  const int nx = 1, ny = 1;
  EdgeFields cur(nx, ny);
  cur.u1.t(1, 1) = Cx{std::numeric_limits<double>::quiet_NaN(), 0.0};
  Accumulators acc(nx, ny, 1, 1, 1);
  finvpic2(1, nx, ny, cur, acc, 1, list({2}), 0.5, 2.0);
  EXPECT_TRUE(std::isnan(acc.tpic(1, 1, 1, 1)));
  savtrace(1, 1, 2.0, list({1}), list({1}), acc, cur);
  EXPECT_TRUE(std::isnan(acc.fu(1, 1, 1).im));
}

TEST(Savtrace, UnitMeanGivesIW) {
  const int nx = 2, ny = 2;
  const double delw = 0.8;
  EdgeFields cur(nx, ny);
  setElement(cur.u1, 2, 1, Cx{1.0, 0.0});
  setElement(cur.u2, 2, 1, Cx{0.0, -2.0});
  Accumulators acc(nx, ny, 0, 5, 1);
  savtrace(1, 4, delw, list({2}), list({1}), acc, cur);
  const double w = 3.5 * delw;
  EXPECT_EQ(acc.fu(1, 4, 1), (Cx{0.0, w}));
  EXPECT_EQ(acc.fu(2, 4, 1), (Cx{2.0 * w, 0.0}));
  // Only the column of this frequency is written.
  for (int jw : {1, 2, 3, 5}) {
    EXPECT_EQ(acc.fu(1, jw, 1), Cx{});
    EXPECT_EQ(acc.fu(2, jw, 1), Cx{});
  }
}

TEST(Savtrace, ReceiversAtTheSameElementRecordIdenticalSpectra) {
  const int nx = 3, ny = 3;
  std::mt19937 gen(5);
  std::uniform_real_distribution<double> d(-1.0, 1.0);
  EdgeFields cur(nx, ny);
  for (EdgeQuantity* u : {&cur.u1, &cur.u2})
    for (Grid<Cx>* g : {&u->l, &u->t, &u->b, &u->r})
      for (int j = 1; j <= ny; ++j)
        for (int i = 1; i <= nx; ++i) (*g)(i, j) = Cx{d(gen), d(gen)};
  Accumulators acc(nx, ny, 0, 2, 3);
  savtrace(3, 2, 0.7, list({2, 1, 2}), list({3, 3, 3}), acc, cur);
  for (int c = 1; c <= 2; ++c) {
    EXPECT_EQ(acc.fu(c, 2, 1), acc.fu(c, 2, 3));
    EXPECT_FALSE(acc.fu(c, 2, 1) == acc.fu(c, 2, 2));
  }
}

TEST(Savtrace, ReceiversOutsideTheGridRecordZero) {
  const int nx = 3, ny = 2;
  EdgeFields cur(nx, ny);
  for (EdgeQuantity* u : {&cur.u1, &cur.u2})
    for (Grid<Cx>* g : {&u->l, &u->t, &u->b, &u->r}) g->fill(Cx{1.0, 1.0});  // frame too
  // Frame entries hold garbage here on purpose; only indices beyond the frame are
  // checked for zero, the frame itself is read.
  Accumulators acc(nx, ny, 0, 1, 7);
  savtrace(7, 1, 2.0, list({-5, nx + 2, 700, 1, 2, -1, 0}), list({1, 1, 1, -5, ny + 2, 1, 0}), acc,
           cur);
  for (int r = 1; r <= 6; ++r) {
    EXPECT_EQ(acc.fu(1, 1, r), Cx{}) << r;
    EXPECT_EQ(acc.fu(2, 1, r), Cx{}) << r;
  }
  EXPECT_EQ(acc.fu(1, 1, 7), (Cx{-1.0, 1.0}));
}

TEST(Savtrace, NoReceiversWritesNothing) {
  EdgeFields cur(1, 1);
  setElement(cur.u1, 1, 1, Cx{1.0, 1.0});
  Accumulators acc(1, 1, 0, 1, 1);
  acc.fu(1, 1, 1) = Cx{9.0, 9.0};
  savtrace(0, 1, 2.0, list({1}), list({1}), acc, cur);
  EXPECT_EQ(acc.fu(1, 1, 1), (Cx{9.0, 9.0}));
}

TEST(Accumulation, SnapshotEqualsTheTraceSynthesisedAtTheSameElement) {
  // Accumulated over the band in ascending order, the snapshot of an element and the
  // inverse transform of its receiver spectrum are the same sum, term for term.
  const int nx = 2, ny = 2, nw = 9;
  const double delw = 0.37, dt = 0.21;
  const Vec1<int> itsnap = list({1, 2, 7, 30});
  std::mt19937 gen(8);
  std::uniform_real_distribution<double> d(-1.0, 1.0);
  EdgeFields cur(nx, ny);
  Accumulators acc(nx, ny, 4, nw, 1);
  for (int jw = 1; jw <= nw; ++jw) {
    for (EdgeQuantity* u : {&cur.u1, &cur.u2})
      for (Grid<Cx>* g : {&u->l, &u->t, &u->b, &u->r})
        for (int j = 1; j <= ny; ++j)
          for (int i = 1; i <= nx; ++i) (*g)(i, j) = Cx{d(gen), d(gen)};
    finvpic2(jw, nx, ny, cur, acc, 4, itsnap, dt, delw);
    savtrace(1, jw, delw, list({2}), list({1}), acc, cur);
  }
  for (int c = 1; c <= 2; ++c) {
    std::vector<Cx> spectrum(nw + 1);
    for (int jw = 1; jw <= nw; ++jw) spectrum[jw] = acc.fu(c, jw, 1);
    std::vector<double> series(31);
    finvu2(spectrum.data(), nw, series.data(), 30, dt, delw);
    for (int k = 1; k <= 4; ++k) {
      const double snapshot = (acc.tpic(c, 2, 1, k) * delw) / kPi;
      EXPECT_EQ(snapshot, series[itsnap(k)]) << c << "," << k;
    }
  }
}

}  // namespace
}  // namespace sw

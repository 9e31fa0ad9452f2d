#include "output/accumulate.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "core/constants.hpp"
#include "core/fourier.hpp"

#include "support/numbers.hpp"

namespace sw::test {
namespace {

/// The same value on all four edges of element (i, j), so that its mean is `a`.
void setElement(EdgeQuantity& u, int i, int j, Cx a) {
  u.l(i, j) = u.t(i, j) = u.b(i, j) = u.r(i, j) = a;
}

/// Run parameters of an nx by ny grid and nfreq frequencies with steps dt and delw,
/// snapshots at the time steps `steps` and receivers at the elements `receivers`.
RunParams recording(int nx, int ny, int nfreq, double dt, double delw,
                    std::initializer_list<int> steps,
                    std::initializer_list<std::pair<int, int>> receivers) {
  RunParams par;
  par.nx = nx;
  par.ny = ny;
  par.jw2 = nfreq;
  par.dt = dt;
  par.delw = delw;
  for (const int k : steps) par.itsnap(++par.nsnapt) = k;
  for (const auto& [i, j] : receivers) {
    ++par.nrec;
    par.irx(par.nrec) = i;
    par.iry(par.nrec) = j;
  }
  return par;
}

TEST(AddToSnapshots, UnitMeanAtFirstIndexGivesMinusWSinWt) {
  const int nx = 1, ny = 1;
  const double delw = 3.0, dt = 0.05;
  const double w = 0.5 * delw;
  EdgeFields cur(nx, ny);
  setElement(cur.u1, 1, 1, Cx{1.0, 0.0});
  const RunParams par = recording(nx, ny, 1, dt, delw, {1, 4, 11}, {});
  Accumulators acc(par);
  addToSnapshots(1, cur, par, acc);
  for (int k = 1; k <= 3; ++k) {
    const double t = (par.itsnap(k) - 1) * dt;
    EXPECT_DOUBLE_EQ(acc.tpic(1, 1, 1, k), -w * std::sin(w * t)) << k;
    EXPECT_EQ(acc.tpic(2, 1, 1, k), 0.0) << k;
  }
}

TEST(AddToSnapshots, SnapshotAtTimeZeroIsMinusWTimesImaginaryMean) {
  const int nx = 1, ny = 1;
  const double delw = 0.4;
  const int jw = 3;
  const double w = 2.5 * delw;
  EdgeFields cur(nx, ny);
  setElement(cur.u2, 1, 1, Cx{0.3, 0.7});
  const RunParams par = recording(nx, ny, 3, 0.01, delw, {1}, {});
  Accumulators acc(par);
  addToSnapshots(jw, cur, par, acc);
  EXPECT_EQ(acc.tpic(2, 1, 1, 1), -(0.7 * w));
}

TEST(AddToSnapshots, MeanOfTheFourEdges) {
  const int nx = 1, ny = 1;
  EdgeFields cur(nx, ny);
  cur.u1.l(1, 1) = Cx{0.0, 1.0};
  cur.u1.t(1, 1) = Cx{0.0, 2.0};
  cur.u1.b(1, 1) = Cx{0.0, 3.0};
  cur.u1.r(1, 1) = Cx{0.0, 6.0};                                   // mean 3i
  const RunParams par = recording(nx, ny, 1, 0.01, 2.0, {1}, {});  // w = 1
  Accumulators acc(par);
  addToSnapshots(1, cur, par, acc);
  EXPECT_EQ(acc.tpic(1, 1, 1, 1), -3.0);
}

TEST(AddToSnapshots, ElementsAndComponentsLandInTheirOwnEntries) {
  const int nx = 3, ny = 2;
  EdgeFields cur(nx, ny);
  setElement(cur.u1, 2, 1, Cx{0.0, 1.0});
  setElement(cur.u2, 3, 2, Cx{0.0, 2.0});
  // w = 1 and time 0: the snapshots are -Im a.
  const RunParams par = recording(nx, ny, 1, 0.01, 2.0, {1, 1}, {});
  Accumulators acc(par);
  addToSnapshots(1, cur, par, acc);
  for (int k = 1; k <= 2; ++k) {
    for (int j = 1; j <= ny; ++j) {
      for (int i = 1; i <= nx; ++i) {
        EXPECT_EQ(acc.tpic(1, i, j, k), (i == 2 && j == 1) ? -1.0 : 0.0) << i << j << k;
        EXPECT_EQ(acc.tpic(2, i, j, k), (i == 3 && j == 2) ? -2.0 : 0.0) << i << j << k;
      }
    }
  }
}

TEST(AddToSnapshots, TermsAddUpAcrossFrequencies) {
  const int nx = 1, ny = 1;
  EdgeFields cur(nx, ny);
  setElement(cur.u1, 1, 1, Cx{0.0, 1.0});
  const RunParams par = recording(nx, ny, 2, 0.01, 2.0, {1}, {});
  Accumulators acc(par);
  addToSnapshots(2, cur, par, acc);  // w = 3: -3
  addToSnapshots(1, cur, par, acc);  // w = 1: -1
  EXPECT_EQ(acc.tpic(1, 1, 1, 1), -4.0);
}

TEST(AddToSnapshots, SmallMeansContributeExactlyZero) {
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
  const RunParams par = recording(nx, ny, 1, 0.5, 2.0, {1, 3}, {{1, 1}, {2, 1}, {3, 1}});
  Accumulators acc(par);
  addToSnapshots(1, cur, par, acc);
  for (int k = 1; k <= 2; ++k) {
    EXPECT_EQ(acc.tpic(1, 1, 1, k), 0.0) << k;
    EXPECT_EQ(acc.tpic(1, 3, 1, k), 0.0) << k;
  }
  EXPECT_EQ(acc.tpic(1, 2, 1, 1), -small);

  recordTraces(1, cur, par, acc);
  EXPECT_EQ(acc.fu(1, 1, 1), Cx{});
  EXPECT_EQ(acc.fu(1, 1, 2), (Cx{-small, 0.0}));
  EXPECT_EQ(acc.fu(1, 1, 3), Cx{});
}

TEST(AddToSnapshots, NotANumberIsKept) {
  const int nx = 1, ny = 1;
  EdgeFields cur(nx, ny);
  cur.u1.t(1, 1) = Cx{std::numeric_limits<double>::quiet_NaN(), 0.0};
  const RunParams par = recording(nx, ny, 1, 0.5, 2.0, {2}, {{1, 1}});
  Accumulators acc(par);
  addToSnapshots(1, cur, par, acc);
  EXPECT_TRUE(std::isnan(acc.tpic(1, 1, 1, 1)));
  recordTraces(1, cur, par, acc);
  EXPECT_TRUE(std::isnan(acc.fu(1, 1, 1).im));
}

TEST(RecordTraces, UnitMeanGivesIW) {
  const int nx = 2, ny = 2;
  const double delw = 0.8;
  EdgeFields cur(nx, ny);
  setElement(cur.u1, 2, 1, Cx{1.0, 0.0});
  setElement(cur.u2, 2, 1, Cx{0.0, -2.0});
  const RunParams par = recording(nx, ny, 5, 0.1, delw, {}, {{2, 1}});
  Accumulators acc(par);
  recordTraces(4, cur, par, acc);
  const double w = 3.5 * delw;
  EXPECT_EQ(acc.fu(1, 4, 1), (Cx{0.0, w}));
  EXPECT_EQ(acc.fu(2, 4, 1), (Cx{2.0 * w, 0.0}));
  // Only the column of this frequency is written.
  for (int jw : {1, 2, 3, 5}) {
    EXPECT_EQ(acc.fu(1, jw, 1), Cx{});
    EXPECT_EQ(acc.fu(2, jw, 1), Cx{});
  }
}

TEST(RecordTraces, ReceiversOutsideTheGridRecordZero) {
  const int nx = 3, ny = 2;
  EdgeFields cur(nx, ny);
  for (EdgeQuantity* u : {&cur.u1, &cur.u2})
    for (Grid<Cx>* g : {&u->l, &u->t, &u->b, &u->r}) g->fill(Cx{1.0, 1.0});  // frame too
  // Frame entries hold garbage here on purpose; only indices beyond the frame are
  // checked for zero, the frame itself is read.
  const RunParams par =
      recording(nx, ny, 1, 0.1, 2.0, {},
                {{-5, 1}, {nx + 2, 1}, {700, 1}, {1, -5}, {2, ny + 2}, {-1, 1}, {0, 0}});
  Accumulators acc(par);
  recordTraces(1, cur, par, acc);
  for (int r = 1; r <= 6; ++r) {
    EXPECT_EQ(acc.fu(1, 1, r), Cx{}) << r;
    EXPECT_EQ(acc.fu(2, 1, r), Cx{}) << r;
  }
  EXPECT_EQ(acc.fu(1, 1, 7), (Cx{-1.0, 1.0}));
}

TEST(Accumulation, SnapshotEqualsTheTraceSynthesisedAtTheSameElement) {
  // Accumulated over the band in ascending order, the snapshot of an element and the
  // inverse transform of its receiver spectrum are the same sum, term for term.
  const int nx = 2, ny = 2, nw = 9;
  const double delw = 0.37, dt = 0.21;
  const RunParams par = recording(nx, ny, nw, dt, delw, {1, 2, 7, 30}, {{2, 1}});
  Random rnd(8);
  EdgeFields cur(nx, ny);
  Accumulators acc(par);
  for (int jw = 1; jw <= nw; ++jw) {
    for (EdgeQuantity* u : {&cur.u1, &cur.u2})
      for (Grid<Cx>* g : {&u->l, &u->t, &u->b, &u->r})
        for (int j = 1; j <= ny; ++j)
          for (int i = 1; i <= nx; ++i) (*g)(i, j) = rnd.cx();
    addToSnapshots(jw, cur, par, acc);
    recordTraces(jw, cur, par, acc);
  }
  for (int c = 1; c <= 2; ++c) {
    std::vector<Cx> spectrum(nw + 1);
    for (int jw = 1; jw <= nw; ++jw) spectrum[jw] = acc.fu(c, jw, 1);
    std::vector<double> series(31);
    inverseFourier(spectrum.data(), nw, series.data(), 30, dt, delw);
    for (int k = 1; k <= 4; ++k) {
      const double snapshot = (acc.tpic(c, 2, 1, k) * delw) / kPi;
      EXPECT_EQ(snapshot, series[par.itsnap(k)]) << c << "," << k;
    }
  }
}

}  // namespace
}  // namespace sw::test

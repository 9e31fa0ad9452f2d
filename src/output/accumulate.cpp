#include "output/accumulate.hpp"

#include "coupling/lane_fields.hpp"  // EdgeValues

#include <cmath>
#include <cstddef>
#include <vector>

#include "core/check.hpp"
#include "core/frequency.hpp"

namespace sw {

namespace {

/// Element values below this modulus count as zero: 1e-14 in single precision, widened.
constexpr double kSmall = static_cast<double>(1.0e-14f);

/// Mean of the four edge values of an element, parts summed l, t, b, r; a modulus below
/// kSmall gives zero, a NaN is kept.
Cx centre(const EdgeValues& e) {
  const Cx l = e.l, t = e.t, b = e.b, r = e.r;
  Cx a{(((l.re + t.re) + b.re) + r.re) * 0.25, (((l.im + t.im) + b.im) + r.im) * 0.25};
  if (abs(a) < kSmall) a = Cx{};
  return a;
}

/// Component c of the elements of row j, from the sixteen arrays.
struct GridRows {
  const EdgeFields& f;
  struct Row {
    const EdgeQuantity& u;
    int j;
    EdgeValues operator()(int i) const { return {u.l(i, j), u.t(i, j), u.b(i, j), u.r(i, j)}; }
  };
  Row row(int c, int j) const { return {c == 1 ? f.u1 : f.u2, j}; }
  bool inFrame(int i, int j) const { return f.u1.l.inFrame(i, j); }
  int nx() const { return f.nx(); }
  int ny() const { return f.ny(); }
};

/// Velocity i w a under the exp(+i w t) convention; at the complex frequency w - i d
/// (d not 0) i (w - i d) a = (d + i w) a.
Cx velocity(Cx a, double w, double d) {
  if (d != 0.0) return {d * a.re - w * a.im, d * a.im + w * a.re};
  return {-(a.im * w), a.re * w};
}

template <class Rows>
void addToSnapshotsOf(int jw, const Rows& cur, const RunParams& par, Accumulators& acc,
                      int threads) {
  const int nx = acc.nx, ny = acc.ny, nsnapt = acc.nsnapt;
  SW_CHECK(cur.nx() == nx && cur.ny() == ny, "fields of the accumulators' grid");
  if (nsnapt <= 0 || nx <= 0 || ny <= 0) return;
  const Vec1<int>& itsnap = par.itsnap;
  const double dt = par.dt;
  const double w = frequencyOfIndex(jw, par.delw);

  // theta depends only on the snapshot, so its cosine and sine are taken once per call.
  std::vector<double> cs(static_cast<std::size_t>(nsnapt) + 1);
  std::vector<double> sn(static_cast<std::size_t>(nsnapt) + 1);
  for (int k = 1; k <= nsnapt; ++k) {
    const double theta = (static_cast<double>(itsnap(k) - 1) * w) * dt;
    cs[k] = std::cos(theta);
    sn[k] = std::sin(theta);
  }

  // Rows are independent: each entry receives exactly one term per call.
  for (int c = 1; c <= 2; ++c) {
    std::vector<double>& tpic = (c == 1) ? acc.tpic1 : acc.tpic2;
#pragma omp parallel num_threads(threads)
    {
      std::vector<Cx> row(static_cast<std::size_t>(nx) + 1);
#pragma omp for schedule(static)
      for (int j = 1; j <= ny; ++j) {
        const auto u = cur.row(c, j);
        for (int i = 1; i <= nx; ++i) row[i] = velocity(centre(u(i)), w, par.damping);
        // Running k outside i changes no value; it walks each snapshot row contiguously.
        for (int k = 1; k <= nsnapt; ++k) {
          double* t = &tpic[acc.snapIndex(1, j, k)];
          for (int i = 1; i <= nx; ++i)
            t[i - 1] = (row[i].re * cs[k] - row[i].im * sn[k]) + t[i - 1];
        }
      }
    }
  }
}

template <class Rows>
void recordTracesOf(int jw, const Rows& cur, const RunParams& par, Accumulators& acc) {
  const int nrec = acc.nrec;
  if (nrec <= 0) return;
  SW_CHECK(jw >= 1 && jw <= acc.nfreq, "frequency index of the band");
  const double w = frequencyOfIndex(jw, par.delw);
  for (int r = 1; r <= nrec; ++r) {
    const int i = par.irx(r), j = par.iry(r);
    // Outside the stored frame the element reads as zero, like the never-written
    // entries beyond the ghost frame; nothing outside the arrays is touched.
    const bool inside = cur.inFrame(i, j);
    const Cx a1 = inside ? centre(cur.row(1, j)(i)) : Cx{};
    const Cx a2 = inside ? centre(cur.row(2, j)(i)) : Cx{};
    acc.fu(1, jw, r) = velocity(a1, w, par.damping);
    acc.fu(2, jw, r) = velocity(a2, w, par.damping);
  }
}

}  // namespace

void addToSnapshots(int jw, const EdgeFields& cur, const RunParams& par, Accumulators& acc,
                    int threads) {
  addToSnapshotsOf(jw, GridRows{cur}, par, acc, threads);
}

void recordTraces(int jw, const EdgeFields& cur, const RunParams& par, Accumulators& acc) {
  recordTracesOf(jw, GridRows{cur}, par, acc);
}

}  // namespace sw

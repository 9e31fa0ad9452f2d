#pragma once
/// The sums over frequency from which the time-domain files are written.

#include <algorithm>
#include <cstddef>
#include <vector>

#include "core/check.hpp"
#include "core/complex.hpp"
#include "model/run_params.hpp"

namespace sw {

/// Snapshot sums tpic(i, j, k) of the velocity components 1 and 2 and the receiver
/// spectra fu(jw, r), all indices 1-based, sized to the run's grid, snapshots, band and
/// receivers; everything starts at zero.
struct Accumulators {
  int nx = 0, ny = 0, nsnapt = 0, nfreq = 0, nrec = 0;
  std::vector<double> tpic1, tpic2;
  std::vector<Cx> fu1, fu2;

  Accumulators() = default;
  explicit Accumulators(const RunParams& par)
      : nx(par.nx),
        ny(par.ny),
        nsnapt(std::max(par.nsnapt, 0)),
        nfreq(std::max(par.jw2, 0)),
        nrec(std::max(par.nrec, 0)),
        tpic1(static_cast<std::size_t>(nx) * ny * nsnapt),
        tpic2(static_cast<std::size_t>(nx) * ny * nsnapt),
        fu1(static_cast<std::size_t>(nfreq) * nrec),
        fu2(static_cast<std::size_t>(nfreq) * nrec) {}

  std::size_t snapIndex(int i, int j, int k) const {
    SW_BOUNDS(i >= 1 && i <= nx && j >= 1 && j <= ny && k >= 1 && k <= nsnapt);
    return static_cast<std::size_t>(i - 1) +
           static_cast<std::size_t>(nx) *
               (static_cast<std::size_t>(j - 1) + static_cast<std::size_t>(ny) * (k - 1));
  }
  std::size_t traceIndex(int jw, int r) const {
    SW_BOUNDS(jw >= 1 && jw <= nfreq && r >= 1 && r <= nrec);
    return static_cast<std::size_t>(jw - 1) + static_cast<std::size_t>(nfreq) * (r - 1);
  }
  double& tpic(int c, int i, int j, int k) { return (c == 1 ? tpic1 : tpic2)[snapIndex(i, j, k)]; }
  Cx& fu(int c, int jw, int r) { return (c == 1 ? fu1 : fu2)[traceIndex(jw, r)]; }
};

}  // namespace sw

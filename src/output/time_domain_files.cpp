#include "output/time_domain_files.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "core/constants.hpp"
#include "core/fourier.hpp"
#include "core/interrupt.hpp"
#include "input/run_files.hpp"
#include "records/layout.hpp"
#include "records/out_file.hpp"

namespace sw {

namespace {

/// The one layout of every snapshot and trace record, compiled once.
const rec::Layout& valueLayout() {
  static const rec::Layout layout("(g15.4)");
  return layout;
}

/// The snapshot files k = 1 .. nsnapt of component c: (tpic * delw) / pi, one value per
/// write, bottom row first, i fastest; with a damping, times its gain at the snapshot's time.
void writeSnapshots(int c, std::vector<rec::OutFile>& out, const Accumulators& acc,
                    const RunParams& par) {
  const rec::Layout& layout = valueLayout();
  const std::vector<double>& tpic = c == 1 ? acc.tpic1 : acc.tpic2;
  const int nx = acc.nx, ny = acc.ny;
  const double delw = par.delw;
  for (int k = 1; k <= acc.nsnapt; ++k) {
    stopIfInterrupted("while writing the snapshot files");
    rec::OutFile& file = out[static_cast<std::size_t>(k - 1)];
    const double gain =
        dampingGain(par.damping, static_cast<double>(par.itsnap(k) - 1) * par.dt);
    for (int j = 1; j <= ny; ++j) {
      for (int i = 1; i <= nx; ++i) {
        double value = (tpic[acc.snapIndex(i, j, k)] * delw) / kPi;
        if (par.damping != 0.0) value = value * gain;
        file.writeReals(layout, std::span<const double>(&value, 1));
      }
    }
    file.finish();
  }
}

/// The trace file of component c with the trace of every receiver: one write of nt
/// samples per receiver.
void writeTraces(int c, rec::OutFile& file, const RunParams& par, const Accumulators& acc,
                 std::vector<Cx>& spectrum, std::vector<double>& series) {
  const rec::Layout& layout = valueLayout();
  const std::vector<Cx>& fu = c == 1 ? acc.fu1 : acc.fu2;
  const int nt = par.nt, jw2 = acc.nfreq;
  const std::size_t samples = static_cast<std::size_t>(std::max(nt, 0));
  stopIfInterrupted("while writing the trace files");
  for (int r = 1; r <= acc.nrec; ++r) {
    // Only the band's indices are refilled; those below jw1 stay zero.
    for (int jw = std::max(par.jw1, 1); jw <= jw2; ++jw) spectrum[jw] = fu[acc.traceIndex(jw, r)];
    inverseFourier(spectrum.data(), jw2, series.data(), nt, par.dt, par.delw);
    if (par.damping != 0.0) removeDamping(series.data(), nt, par.dt, par.damping);
    file.writeReals(layout, std::span<const double>(series.data() + 1, samples));
  }
  file.finish();
}

}  // namespace

double dampingGain(double damping, double t) { return std::exp(damping * t); }

void removeDamping(double* series, int nt, double dt, double damping) {
  for (int i = 1; i <= nt; ++i)
    series[i] = series[i] * dampingGain(damping, static_cast<double>(i - 1) * dt);
}

TimeDomainFiles openTimeDomainFiles(const RunParams& par, const std::string& dir) {
  TimeDomainFiles out;
  for (int k = 1; k <= par.nsnapt; ++k) {
    out.snapshots2.emplace_back().openForCommit(files::inDirectory(dir, files::snapshot(2, k, par.nsnapt)));
    out.snapshots1.emplace_back().openForCommit(files::inDirectory(dir, files::snapshot(1, k, par.nsnapt)));
  }
  if (par.nrec > 0) {
    out.traces1.openForCommit(files::inDirectory(dir, files::traces(1)));
    out.traces2.openForCommit(files::inDirectory(dir, files::traces(2)));
  }
  return out;
}

void writeTimeDomainFiles(TimeDomainFiles& out, const RunParams& par, const Accumulators& acc) {
  // Component 2 (vertical) first, then component 1.
  writeSnapshots(2, out.snapshots2, acc, par);
  writeSnapshots(1, out.snapshots1, acc, par);

  if (acc.nrec > 0) {
    std::vector<Cx> spectrum(static_cast<std::size_t>(acc.nfreq) + 1);
    std::vector<double> series(static_cast<std::size_t>(std::max(par.nt, 0)) + 1);
    writeTraces(1, out.traces1, par, acc, spectrum, series);
    writeTraces(2, out.traces2, par, acc, spectrum, series);
  }
  // Renamed together at the end: an interrupted or failed output phase leaves the
  // files of the previous run, not a mixture; a signal waits for the last rename.
  std::vector<rec::OutFile*> all;
  for (rec::OutFile& f : out.snapshots2) all.push_back(&f);
  for (rec::OutFile& f : out.snapshots1) all.push_back(&f);
  all.push_back(&out.traces1);
  all.push_back(&out.traces2);
  const SignalsHeld held;
  rec::commitTogether(all);
}

void writeTimeDomainFiles(const RunParams& par, const Accumulators& acc) {
  TimeDomainFiles out = openTimeDomainFiles(par);
  writeTimeDomainFiles(out, par, acc);
}

}  // namespace sw

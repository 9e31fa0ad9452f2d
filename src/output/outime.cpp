#include "output/outime.hpp"

#include <algorithm>
#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "driver/interrupt.hpp"
#include "output/fourier.hpp"
#include "records/layout.hpp"
#include "records/out_file.hpp"

namespace sw {

namespace {

/// The one layout of every snapshot and trace record, compiled once.
const rec::Layout& valueLayout() {
  static const rec::Layout layout("(g15.4)");
  return layout;
}

/// Default file name of an unnamed unit.
std::string unitName(int unit) { return "fort." + std::to_string(unit); }

/// Files unit base + k, k = 1 .. nsnapt, of one component: (tpic * delw) / pi, one
/// value per write, bottom row first, i fastest.
void writeSnapshots(std::vector<rec::OutFile>& files, const std::vector<double>& tpic,
                    const Accumulators& acc, int nx, int ny, int nsnapt, double delw) {
  const rec::Layout& layout = valueLayout();
  for (int k = 1; k <= nsnapt; ++k) {
    stopIfInterrupted("while writing the snapshot files");
    rec::OutFile& file = files[static_cast<std::size_t>(k - 1)];
    for (int j = 1; j <= ny; ++j) {
      for (int i = 1; i <= nx; ++i) {
        const double value = (tpic[acc.snapIndex(i, j, k)] * delw) / kPi;
        file.writeReals(layout, std::span<const double>(&value, 1));
      }
    }
    file.finish();
  }
}

/// File `unit` with the trace of every receiver from the spectra `fu`: one write of nt
/// samples per receiver.
void writeTraces(rec::OutFile& file, const std::vector<Cx>& fu, const Accumulators& acc, int nt,
                 double dt, double delw, int jw1, int jw2, int nrec, std::vector<Cx>& spectrum,
                 std::vector<double>& series) {
  const rec::Layout& layout = valueLayout();
  const std::size_t samples = static_cast<std::size_t>(std::max(nt, 0));
  stopIfInterrupted("while writing the trace files");
  for (int r = 1; r <= nrec; ++r) {
    // Only the band's indices are refilled; those below jw1 stay zero.
    for (int jw = std::max(jw1, 1); jw <= jw2; ++jw) spectrum[jw] = fu[acc.traceIndex(jw, r)];
    finvu2(spectrum.data(), jw2, series.data(), nt, dt, delw);
    file.writeReals(layout, std::span<const double>(series.data() + 1, samples));
  }
  file.finish();
}

}  // namespace

TimeDomainFiles openTimeDomainFiles(int nsnapt, int nrec) {
  TimeDomainFiles files;
  for (int k = 1; k <= nsnapt; ++k) {
    files.snapshots2.emplace_back().openForCommit(unitName(600 + k));
    files.snapshots1.emplace_back().openForCommit(unitName(500 + k));
  }
  if (nrec > 0) {
    files.traces1.openForCommit(unitName(60));
    files.traces2.openForCommit(unitName(70));
  }
  return files;
}

void outime(TimeDomainFiles& files, int nx, int ny, int nsnapt, const Accumulators& acc, int nt,
            double dt, double delw, int jw1, int jw2, int nrec) {
  // Component 2 (vertical) first, then component 1.
  writeSnapshots(files.snapshots2, acc.tpic2, acc, nx, ny, nsnapt, delw);
  writeSnapshots(files.snapshots1, acc.tpic1, acc, nx, ny, nsnapt, delw);

  if (nrec > 0) {
    std::vector<Cx> spectrum(static_cast<std::size_t>(std::max(jw2, 0)) + 1);
    std::vector<double> series(static_cast<std::size_t>(std::max(nt, 0)) + 1);
    writeTraces(files.traces1, acc.fu1, acc, nt, dt, delw, jw1, jw2, nrec, spectrum, series);
    writeTraces(files.traces2, acc.fu2, acc, nt, dt, delw, jw1, jw2, nrec, spectrum, series);
  }
  // Renamed together at the end: an interrupted or failed output phase leaves the
  // files of the previous run, not a mixture.
  for (rec::OutFile& f : files.snapshots2) f.commit();
  for (rec::OutFile& f : files.snapshots1) f.commit();
  files.traces1.commit();
  files.traces2.commit();
}

}  // namespace sw

namespace sw {

void outime(int nx, int ny, int nsnapt, const Accumulators& acc, int nt, double dt, double delw,
            int jw1, int jw2, int nrec) {
  TimeDomainFiles files = openTimeDomainFiles(nsnapt, nrec);
  outime(files, nx, ny, nsnapt, acc, nt, dt, delw, jw1, jw2, nrec);
}

}  // namespace sw

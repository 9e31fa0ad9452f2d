#include "output/outime.hpp"

#include <algorithm>
#include <cstddef>
#include <span>
#include <string>
#include <vector>

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
void writeSnapshots(int base, const std::vector<double>& tpic, const Accumulators& acc, int nx,
                    int ny, int nsnapt, double delw) {
  const rec::Layout& layout = valueLayout();
  for (int k = 1; k <= nsnapt; ++k) {
    rec::OutFile file;
    file.openOnFirstWrite(unitName(base + k));
    for (int j = 1; j <= ny; ++j) {
      for (int i = 1; i <= nx; ++i) {
        const double value = (tpic[acc.snapIndex(i, j, k)] * delw) / kPi;
        file.writeReals(layout, std::span<const double>(&value, 1));
      }
    }
    file.flush();  // a write error must end the run, not be lost on closing
  }
}

/// File `unit` with the trace of every receiver from the spectra `fu`: one write of nt
/// samples per receiver.
void writeTraces(int unit, const std::vector<Cx>& fu, const Accumulators& acc, int nt, double dt,
                 double delw, int jw1, int jw2, int nrec, std::vector<Cx>& spectrum,
                 std::vector<double>& series) {
  const rec::Layout& layout = valueLayout();
  const std::size_t samples = static_cast<std::size_t>(std::max(nt, 0));
  rec::OutFile file;
  file.openOnFirstWrite(unitName(unit));
  for (int r = 1; r <= nrec; ++r) {
    // Only the band's indices are refilled; those below jw1 stay zero.
    for (int jw = std::max(jw1, 1); jw <= jw2; ++jw) spectrum[jw] = fu[acc.traceIndex(jw, r)];
    finvu2(spectrum.data(), jw2, series.data(), nt, dt, delw);
    file.writeReals(layout, std::span<const double>(series.data() + 1, samples));
  }
  file.flush();
}

}  // namespace

void outime(int nx, int ny, int nsnapt, const Accumulators& acc, int nt, double dt, double delw,
            int jw1, int jw2, int nrec) {
  // Component 2 (vertical) first, then component 1.
  writeSnapshots(600, acc.tpic2, acc, nx, ny, nsnapt, delw);
  writeSnapshots(500, acc.tpic1, acc, nx, ny, nsnapt, delw);

  if (nrec <= 0) return;
  std::vector<Cx> spectrum(static_cast<std::size_t>(std::max(jw2, 0)) + 1);
  std::vector<double> series(static_cast<std::size_t>(std::max(nt, 0)) + 1);
  writeTraces(60, acc.fu1, acc, nt, dt, delw, jw1, jw2, nrec, spectrum, series);
  writeTraces(70, acc.fu2, acc, nt, dt, delw, jw1, jw2, nrec, spectrum, series);
}

}  // namespace sw

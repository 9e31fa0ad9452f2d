#include "input/frequency_axis.hpp"

#include <cmath>
#include <string>
#include <vector>

#include "core/constants.hpp"
#include "core/exit_status.hpp"
#include "core/truncate.hpp"
#include "core/warning.hpp"
#include "input/reject.hpp"

namespace sw {

namespace {

/// A snapshot time whose sample index does not fit in an integer is rejected.  The
/// snapshots show the field at the times (itsnap - 1) dt of a frequency axis with
/// step delf, which repeats with the period 1 / delf (with the sign reversed, the
/// frequencies being (j - 1/2) delf): a time below 0 or at or past that period is kept
/// but warned about, naming the time it shows.
void checkSnapshotTimes(rec::OutFile& log, const DeckHeader& hdr, const RunParams& par) {
  const double period = 1.0 / par.delf;
  for (int k = 1; k <= par.nsnapt; ++k) {
    const double t = hdr.tsnap[k];
    const std::string at = deckLine(hdr.tsnapLine + k - 1) + ": snapshot " + std::to_string(k) +
                           " at time " + realText(t);
    const double steps = t / par.dt;
    if (!(steps > -2147483648.0 && steps < 2147483647.0))
      rejectInput(log, at + " has the sample index t / dt = " + realText(steps) +
                           ", which does not fit in an integer");
    if (t >= 0.0 && t < period) continue;
    const double shown = (static_cast<double>(par.itsnap(k)) - 1.0) * par.dt;
    const double turns = std::floor(shown / period);
    const bool reversed = std::fmod(turns, 2.0) != 0.0;
    warn(at +
         (t < 0.0 ? " is below 0"
                  : " is at or past the period 1 / delf = " + realText(period) +
                        " of the frequency axis") +
         "; it shows the field at time " + realText(shown - turns * period) +
         (reversed ? " with its sign reversed" : ""));
  }
}

}  // namespace

BandIndices frequencyAxis(rec::OutFile& log, const DeckHeader& hdr, int nf, RunParams& par,
                          const Limits& lim) {
  static const rec::Layout kNyquist("(/1x,' nyquist frequency = ',e20.8,' khz')");
  static const rec::Layout kSteps(
      "(/1x,' dt  = ',e20.8,'  msec',//                                      ' delf = "
      "',e20.8,'  khz'//,                                       ' delw = ',e20.8,'  2 "
      "pi*khz',//)");
  static const rec::Layout kFreqIndices("(/1x,' freq. indices for snapshots ',/,i5,2x,i5)");
  static const rec::Layout kTimeSteps("(/1x,' time steps for snapshots ',/,i5,2x,i5)");
  static const rec::Layout kCorners("(/1x,' if1 if2 if3 if4 =',4i6)");
  static const rec::Layout kBand("(/1x,'jw1 - jw2 - jwlow ',3i7)");

  const double fnyq = 1.0 / (2.0 * par.dt);
  par.delf = hdr.f4 / hdr.npf;
  par.delw = kTwoPi * par.delf;
  log.write(kNyquist, {fnyq});
  if (hdr.f4 > fnyq)
    throw Stop{98765, "f4 = " + realText(hdr.f4) + " is above the Nyquist frequency 1 / (2 dt) = " +
                          realText(fnyq) + " of the time step dt = " + realText(par.dt) +
                          " (h / largest P velocity); lower f4 or the element size h, or "
                          "check the units (with lengths in m and times in ms, frequencies "
                          "are in kHz and velocities in m/ms)"};
  log.write(kSteps, {par.dt, par.delf, par.delw});
  echoBandPass(log, hdr);

  BandIndices b;
  b.if1 = truncateToInt(hdr.f1 / par.delf + 1.0);
  b.if2 = truncateToInt(hdr.f2 / par.delf + 1.0);
  b.if3 = truncateToInt(hdr.f3 / par.delf + 1.0);
  b.if4 = truncateToInt(hdr.f4 / par.delf + 1.0);
  if (b.if3 == b.if4) b.if3 = b.if4 - 1;

  std::vector<rec::Value> freqPairs, timePairs;
  for (int k = 1; k <= hdr.nsnapf; ++k) {
    freqPairs.emplace_back(k);
    freqPairs.emplace_back(truncateToInt(hdr.fsnap[k] / par.delf + 1.0));
  }
  if (par.nsnapt > par.itsnap.size()) par.itsnap = Vec1<int>(par.nsnapt);
  for (int k = 1; k <= par.nsnapt; ++k) {
    par.itsnap(k) = truncateToInt(hdr.tsnap[k] / par.dt);
    timePairs.emplace_back(k);
    timePairs.emplace_back(par.itsnap(k));
  }
  log.write(kFreqIndices, freqPairs);
  log.write(kTimeSteps, timePairs);
  checkSnapshotTimes(log, hdr, par);

  par.jw1 = 1;
  par.jw2 = b.if4 - 1;
  par.jwlow = truncateToInt(par.jw2 * hdr.perclow);
  log.write(kCorners, {b.if1, b.if2, b.if3, b.if4});
  log.write(kBand, {par.jw1, par.jw2, par.jwlow});
  if (par.jw2 > lim.freqs)
    throw Stop{33377, "jw2 = " + std::to_string(par.jw2) +
                          " frequency indices (int(f4 / delf + 1) - 1, delf = f4 / npf) is "
                          "above the limit of " +
                          std::to_string(lim.freqs) + "; lower npf"};
  if (par.jw2 != nf)
    rejectInput(log, "the band has jw2 = " + std::to_string(par.jw2) +
                         " frequency indices but the tables hold nf = " + std::to_string(nf) +
                         " records per material (f4 / delf rounds across an integer)");
  return b;
}

}  // namespace sw

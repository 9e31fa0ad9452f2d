#pragma once
/// The time-domain files: velocity snapshots of the whole grid and receiver traces.

#include <string>
#include <vector>

#include "model/run_params.hpp"
#include "output/accumulators.hpp"
#include "records/out_file.hpp"

namespace sw {

/// The snapshot and trace files of a run.  They are opened before the first frequency,
/// so that a name that cannot be replaced stops the run before the work is done.
struct TimeDomainFiles {
  std::vector<rec::OutFile> snapshots2;  ///< vertical velocity, snapshot 1 .. nsnapt
  std::vector<rec::OutFile> snapshots1;  ///< horizontal velocity
  rec::OutFile traces1, traces2;         ///< when there are receivers
};

/// Opens the files that a run with par.nsnapt snapshots and par.nrec receivers writes, in
/// directory `dir` (empty: the run directory).
TimeDomainFiles openTimeDomainFiles(const RunParams& par, const std::string& dir = "");

/// The gain exp(a t) that undoes the damping exp(-a t) of fields solved at the complex
/// frequencies w - i a.
double dampingGain(double damping, double t);

/// Multiplies series[1 .. nt], samples at (i - 1) dt, by the gain of their times.
void removeDamping(double* series, int nt, double dt, double damping);

/// Writes the snapshots (scaled by delw / pi) and the receiver traces synthesised from
/// their spectra over the band jw1 .. jw2, with nt samples of step dt, then puts all the
/// files in place together once every one of them is complete.  With par.damping a (not
/// 0) every value at time t takes the gain exp(a t): the files hold the undamped fields.
void writeTimeDomainFiles(TimeDomainFiles& files, const RunParams& par, const Accumulators& acc);

/// The same, opening the files first.
void writeTimeDomainFiles(const RunParams& par, const Accumulators& acc);

}  // namespace sw

#pragma once
/// Time-domain output: snapshot files fort.601.., fort.501.. and traces fort.60, fort.70.

#include <vector>

#include "driver/storage.hpp"
#include "records/out_file.hpp"

namespace sw {

/// The snapshot and trace files of a run.  They are opened before the first frequency,
/// so that a name that cannot be replaced stops the run before the work is done.
struct TimeDomainFiles {
  std::vector<rec::OutFile> snapshots2;  ///< fort.601 .. fort.600+nsnapt (vertical)
  std::vector<rec::OutFile> snapshots1;  ///< fort.501 .. fort.500+nsnapt (horizontal)
  rec::OutFile traces1, traces2;         ///< fort.60, fort.70 (when nrec > 0)
};

/// Opens the files that a run with nsnapt snapshots and nrec receivers writes.
TimeDomainFiles openTimeDomainFiles(int nsnapt, int nrec);

/// Writes the scaled snapshots and the synthesised receiver traces, then puts all the
/// files in place together once every one of them is complete.
void outime(TimeDomainFiles& files, int nx, int ny, int nsnapt, const Accumulators& acc, int nt,
            double dt, double delw, int jw1, int jw2, int nrec);

/// The same, opening the files first.
void outime(int nx, int ny, int nsnapt, const Accumulators& acc, int nt, double dt, double delw,
            int jw1, int jw2, int nrec);

}  // namespace sw

#pragma once
/// Time-domain output: snapshot files fort.601.., fort.501.. and traces fort.60, fort.70.

#include "driver/storage.hpp"

namespace sw {

/// Writes the scaled snapshots and the synthesised receiver traces.
void outime(int nx, int ny, int nsnapt, const Accumulators& acc, int nt, double dt, double delw,
            int jw1, int jw2, int nrec);

}  // namespace sw

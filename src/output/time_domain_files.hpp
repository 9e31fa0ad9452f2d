#pragma once
/// The time-domain files: velocity snapshots of the whole grid and receiver traces.

#include "model/run_params.hpp"
#include "output/accumulators.hpp"

namespace sw {

/// Writes the snapshots (scaled by delw / pi) and the receiver traces synthesised from
/// their spectra over the band jw1 .. jw2, with nt samples of step dt.
void writeTimeDomainFiles(const RunParams& par, const Accumulators& acc);

}  // namespace sw

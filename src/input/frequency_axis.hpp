#pragma once
/// The frequency axis of a run: step, band of frequency indices, corner indices of the
/// band-pass taper and the time steps of the snapshots.

#include "input/deck.hpp"
#include "model/run_params.hpp"
#include "records/out_file.hpp"

namespace sw {

/// Frequency indices of the corner frequencies f1 .. f4.
struct BandIndices {
  int if1 = 0, if2 = 0, if3 = 0, if4 = 0;
};

/// The frequency axis: Nyquist limit, delf, delw, corner and snapshot indices, jw1, jw2,
/// jwlow, with their echo and limits; nf is the number of table records per material.
BandIndices frequencyAxis(rec::OutFile& log, const DeckHeader& hdr, int nf, RunParams& par,
                          const Limits& lim = {});

}  // namespace sw

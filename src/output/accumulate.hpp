#pragma once
/// Folding one frequency's edge displacements into the snapshots and receiver spectra.

#include "coupling/edge_fields.hpp"
#include "model/run_params.hpp"
#include "output/accumulators.hpp"

namespace sw {

/// Adds the velocity of frequency index jw at every element to every time snapshot
/// (snapshot steps par.itsnap, time step par.dt, angular step par.delw).
void addToSnapshots(int jw, const EdgeFields& cur, const RunParams& par, Accumulators& acc,
                    int threads = 1);

/// Stores the velocity spectra of frequency index jw at the receivers par.irx, par.iry.
/// A receiver outside the stored frame records zero.
void recordTraces(int jw, const EdgeFields& cur, const RunParams& par, Accumulators& acc);

}  // namespace sw

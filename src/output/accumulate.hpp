#pragma once
/// Folding one frequency's edge displacements into the snapshots and receiver spectra.

#include "driver/grid.hpp"
#include "driver/storage.hpp"

namespace sw {

/// Adds the velocity of frequency index jw at every element to every time snapshot.
void finvpic2(int jw, int nx, int ny, const EdgeFields& cur, Accumulators& acc, int nsnapt,
              const Vec1<int>& itsnap, double dt, double delw, int threads = 1);

/// Stores the velocity spectra of frequency index jw at the receivers.  A receiver
/// outside the stored frame records zero.
void savtrace(int nrec, int jw, double delw, const Vec1<int>& irx, const Vec1<int>& iry,
              Accumulators& acc, const EdgeFields& cur);

}  // namespace sw

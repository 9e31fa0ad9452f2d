#pragma once
/// The capacities of the system and the run parameters delivered by the input.

#include <climits>

#include "core/grid.hpp"

namespace sw {

/// Capacities of the system; each is guarded by a check of the input.
inline constexpr int kMaxGrid = 600;      ///< elements along x and along y
inline constexpr int kMaxFreqSnaps = 3;   ///< frequency-domain snapshots
inline constexpr int kMaxTimeSnaps = 25;  ///< time-domain snapshots
inline constexpr int kMaxMaterials = 20;
inline constexpr int kMaxFreqs = 600;     ///< frequency indices
inline constexpr int kMaxSamples = 2500;  ///< time samples
inline constexpr int kMaxReceivers = 200;

/// The limits the input checks hold a run to, each with its stop code: by default the
/// capacities above; lifted, only the memory of the machine bounds the run (the
/// frequency snapshots, echoed only, and the materials keep their limits).
struct Limits {
  int grid = kMaxGrid;            ///< nx and ny (stop 77)
  int timeSnaps = kMaxTimeSnaps;  ///< nsnapt (stop 6183)
  int samples = kMaxSamples;      ///< nt (stop 999) and the type-2 pulse (stop 12345)
  int receivers = kMaxReceivers;  ///< nrec (stop 9920)
  int freqs = kMaxFreqs;          ///< jw2 (stop 33377)

  static Limits lifted() { return {INT_MAX, INT_MAX, INT_MAX, INT_MAX, INT_MAX}; }
};

/// Scalars and small lists that the input hands to the run.
struct RunParams {
  int nx = 0, ny = 0;
  double h = 0.0;               ///< side of the square element
  bool freeSurface = false;     ///< the top edge traction-free (--free-surface)
  int maxiter = 0, maxlow = 0;  ///< iteration limits (high and low frequency range)
  double reduc = 0.0;           ///< relative change required for convergence
  double dt = 0.0;              ///< time step
  int nt = 0;                   ///< number of time samples
  double delf = 0.0, delw = 0.0;
  /// a of the complex frequencies w - i a the run solves at (--complex-frequency): the
  /// fields are damped by exp(-a t) and the traces and snapshots take the gain exp(a t)
  /// back; 0: the real frequencies
  double damping = 0.0;
  int jw1 = 1, jw2 = 0, jwlow = 0;
  int nsnapt = 0;
  Vec1<int> itsnap{kMaxTimeSnaps};   ///< time-step number of each snapshot, 1 .. nsnapt
  int kdel = 0, jsou = 0, ksou = 0;  ///< source pattern and source element
  int nrec = 0;
  Vec1<int> irx{kMaxReceivers}, iry{kMaxReceivers};  ///< receiver elements, 1 .. nrec
};

}  // namespace sw

#pragma once
/// The deck header: grid, domain, snapshot lists, wavelet and filter parameters, iteration
/// controls and the number of materials, read from "inp_A" and echoed to the run log.

#include <array>
#include <vector>

#include "model/run_params.hpp"
#include "records/in_file.hpp"
#include "records/out_file.hpp"

namespace sw {

/// Deck values that the later input steps need but the run does not.
struct DeckHeader {
  double perclow = 0.0;                           ///< fraction of the band solved with maxlow
  double xsize = 0.0, ysize = 0.0;                ///< domain size, rounded to whole elements
  int nsnapf = 0;                                 ///< frequency-domain snapshots (echoed only)
  std::array<double, kMaxFreqSnaps + 1> fsnap{};  ///< their frequencies, 1 .. nsnapf
  std::vector<double> tsnap;                      ///< time-domain snapshot times, 1 .. nsnapt
  int npf = 0;                                    ///< points of the frequency axis
  int key = 0;                                    ///< wavelet type 1 .. 4
  double freq = 0.0;                              ///< dominant frequency of the wavelet
  double w0 = 0.0, alfa = 0.0;                    ///< 2 pi freq and 0.79 w0 / pi
  double stime = 0.0;                             ///< total simulated time
  int stimeLine = 0;                              ///< deck line of stime
  int tsnapLine = 0;  ///< deck line of tsnap(1); tsnap(k) is on the k-1st line after it
  double f1 = 0.0, f2 = 0.0, f3 = 0.0, f4 = 0.0;  ///< corner frequencies of the taper
  int nmat = 0;                                   ///< number of materials
};

/// Mesh size of square elements: the smaller of ysize / ny and xsize / nx (x on ties).
double meshSize(int nx, int ny, double xsize, double ysize);

/// Entries 1 to 4 (maxlow, perclow, nx, ny), their echo and the grid limits.
void readGrid(rec::InFile& deck, rec::OutFile& log, DeckHeader& hdr, RunParams& par,
              const Limits& lim = {});

/// Entries 5 and 6, their echo, the mesh size and the domain rounded to whole elements.
void readDomain(rec::InFile& deck, rec::OutFile& log, DeckHeader& hdr, RunParams& par);

/// Entries 7 to 20 (snapshots, wavelet, filter, iteration controls), the snapshot limits
/// and the echo of the header.
void readHeader(rec::InFile& deck, rec::OutFile& log, DeckHeader& hdr, RunParams& par,
                const Limits& lim = {});

/// Entry 21 (nmat), its echo and, when the run uses it (`used`), its limits.
void readMaterialCount(rec::InFile& deck, rec::OutFile& log, DeckHeader& hdr, bool used = true);

/// The band-pass echo, written after the header and again with the frequency axis.
void echoBandPass(rec::OutFile& log, const DeckHeader& hdr);

}  // namespace sw

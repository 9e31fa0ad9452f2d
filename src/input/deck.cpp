#include "input/deck.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/constants.hpp"
#include "core/exit_status.hpp"
#include "input/deck_fields.hpp"
#include "input/reject.hpp"

namespace sw {

namespace {

/// A snapshot list of n values, one per line, of which the first `capacity` are kept.
/// A list of n <= 0 still consumes one line.
void readSnapshotList(rec::InFile& deck, int n, double* kept, int capacity) {
  if (n <= 0) {
    deck.read(realField(), std::span<const rec::Target>{});
    return;
  }
  const int nkept = n < capacity ? n : capacity;
  std::vector<rec::Target> targets;
  for (int k = 1; k <= nkept; ++k) targets.emplace_back(kept[k]);
  deck.read(realField(), targets);
  // Values beyond the capacity are read and dropped one line at a time: with a layout of
  // one value item, one read of m values and m reads of one value consume the same lines.
  for (int k = nkept + 1; k <= n; ++k) readReal(deck);
}

}  // namespace

double meshSize(int nx, int ny, double xsize, double ysize) {
  const double hy = ysize / ny;
  const double hx = xsize / nx;
  return hy < hx ? hy : hx;
}

/// Most snapshot lines of one list: its count is an (i5) field.
constexpr std::uint64_t kMaxSnapshotLines = 99999;

/// Refuses a deck far larger than a grid of its size with this many snapshot lines needs.
static void limitDeckSize(rec::InFile& deck, const RunParams& par, std::uint64_t snapshotLines) {
  // About 60 header lines, the snapshot lines and a five-line region group per element at
  // the very most.
  const std::uint64_t elements = static_cast<std::uint64_t>(par.nx) * par.ny;
  deck.limitSize(inputSizeBound(64 + snapshotLines + 5 * (elements + 1)),
                 "a deck for a " + std::to_string(par.nx) + " x " + std::to_string(par.ny) +
                     " grid" +
                     " and " + std::to_string(snapshotLines) + " snapshot lines");
}

void readGrid(rec::InFile& deck, rec::OutFile& log, DeckHeader& hdr, RunParams& par,
              const Limits& lim) {
  static const rec::Layout kGrid(
      "(/1x,'Global # elements  in x-direction nx = ',i5,/,               1x, 'Global # "
      "elements  in y-direction ny = ',i5)");
  par.maxlow = readInteger(deck);
  hdr.perclow = readReal(deck);
  par.nx = readInteger(deck);
  par.ny = readInteger(deck);
  log.write(kGrid, {par.nx, par.ny});
  if (par.nx > lim.grid) throw Stop{77, aboveLimit("nx", par.nx, "elements along x", lim.grid)};
  if (par.ny > lim.grid) throw Stop{77, aboveLimit("ny", par.ny, "elements along y", lim.grid)};
  if (par.nx < 1)
    rejectDeckValue(log, "nx = " + std::to_string(par.nx) +
                             ", the number of elements along x must be at least 1");
  if (par.ny < 1)
    rejectDeckValue(log, "ny = " + std::to_string(par.ny) +
                             ", the number of elements along y must be at least 1");
  // The snapshot counts, (i5) fields, are not known yet; the bound is narrowed to them
  // once they are.
  limitDeckSize(deck, par, 2 * kMaxSnapshotLines);
}


void readDomain(rec::InFile& deck, rec::OutFile& log, DeckHeader& hdr, RunParams& par) {
  static const rec::Layout kXsize("(/1x,' domain size xsize = ',e20.8,' m')");
  static const rec::Layout kYsize("(/1x,' domain size ysize = ',e20.8,' m')");
  static const rec::Layout kMaxlow(
      "(/1x,'  maxlow (max.iter. in low freq range ) = ',          i6,' perclow ( perc. of(low) "
      "freq. solved with maxlow = ',        e20.8)");
  static const rec::Layout kRounded(
      "(/1x,' rounded xsize = ',e20.8,' m ; ',/,                        ' rounded ysize = "
      "',e20.8,' m '/)");
  hdr.xsize = readReal(deck);
  hdr.ysize = readReal(deck);
  log.write(kXsize, {hdr.xsize});
  if (!(hdr.xsize > 0.0))
    rejectDeckValue(log, "xsize = " + realText(hdr.xsize) + ", the domain size must be positive");
  log.write(kYsize, {hdr.ysize});
  if (!(hdr.ysize > 0.0))
    rejectDeckValue(log, "ysize = " + realText(hdr.ysize) + ", the domain size must be positive");
  log.write(kMaxlow, {par.maxlow, hdr.perclow});

  // The longer side is cut down so that the elements are square.
  par.h = meshSize(par.nx, par.ny, hdr.xsize, hdr.ysize);
  hdr.xsize = par.nx * par.h;
  hdr.ysize = par.ny * par.h;
  log.write(kRounded, {hdr.xsize, hdr.ysize});
}

void echoBandPass(rec::OutFile& log, const DeckHeader& hdr) {
  static const rec::Layout kBandPass(
      "(/1x,'  parameters of  source band-pass filter',//,                ' set equal to 0. if "
      "not filter is desired'//,                    ' f1  = ',e20.8,'   khz ',//,                "
      "                     ' f2  = ',e20.8,'   khz ',//,                                     ' "
      "f3  = ',e20.8,'   khz ',//,                                     ' f4  = ',e20.8,'   khz "
      "',//)");
  log.write(kBandPass, {hdr.f1, hdr.f2, hdr.f3, hdr.f4});
}

void readHeader(rec::InFile& deck, rec::OutFile& log, DeckHeader& hdr, RunParams& par,
                const Limits& lim) {
  static const rec::Layout kMesh("(/1x,' mesh size h= ',e20.8,' m')");
  static const rec::Layout kNsnapf("(/1x,' number of snapshots in freq. domain= ',i5)");
  static const rec::Layout kFsnap(
      "(/1x,' freq. to compute  snapshots in freq.domain',/,            i5,3x,e20.8,' kHz')");
  static const rec::Layout kNsnapt("(/1x,' number of snapshots in time domain= ',i5)");
  static const rec::Layout kNpf(
      "(/1x,' number of points to compute solution= ',/,                      ' in the "
      "frequency domain    npf  = ',i5)");
  static const rec::Layout kKey(
      "(/1x,'  key==1 for type 1 source (damped&sine paper) ;',       /1x,'      key==2 for "
      "type 2 source(gaussian derivative)             ;',i5,//)");
  static const rec::Layout kFreq("(/1x,'  frequency  freq= ',e20.8,' khz'//)");
  static const rec::Layout kW0("(/1x,' w0 = ',e20.8,'  alfa = ',e20.8,//)");
  static const rec::Layout kStime("(/1x,' total simulation time  stime =  ',e20.8,' msec'/)");
  static const rec::Layout kMaxiter("(/1x,'  maxiter =  max. # inner iterations ',i5)");
  static const rec::Layout kReduc("(/1x,'  reduc =  relative error required  ',e20.8)");

  hdr.nsnapf = readInteger(deck);
  const std::uint64_t freqSnapLines = static_cast<std::uint64_t>(std::max(hdr.nsnapf, 0));
  limitDeckSize(deck, par, freqSnapLines + kMaxSnapshotLines);
  readSnapshotList(deck, hdr.nsnapf, hdr.fsnap.data(), kMaxFreqSnaps);
  par.nsnapt = readInteger(deck);
  limitDeckSize(deck, par, freqSnapLines + static_cast<std::uint64_t>(std::max(par.nsnapt, 0)));
  hdr.tsnapLine = deck.recordsRead() + 1;
  const int keptSnaps = std::clamp(par.nsnapt, 0, lim.timeSnaps);
  hdr.tsnap.assign(static_cast<std::size_t>(keptSnaps) + 1, 0.0);
  readSnapshotList(deck, par.nsnapt, hdr.tsnap.data(), keptSnaps);
  hdr.npf = readInteger(deck);
  hdr.key = readInteger(deck);
  hdr.freq = readReal(deck);
  hdr.stime = readReal(deck);
  hdr.stimeLine = deck.recordsRead();
  hdr.f1 = readReal(deck);
  hdr.f2 = readReal(deck);
  hdr.f3 = readReal(deck);
  hdr.f4 = readReal(deck);
  par.maxiter = readInteger(deck);
  par.reduc = readReal(deck);

  hdr.w0 = kTwoPi * hdr.freq;
  hdr.alfa = hdr.w0 * 0.79 / kPi;

  if (hdr.nsnapf > kMaxFreqSnaps)
    throw Stop{5183, aboveLimit("nsnapf", hdr.nsnapf, "frequency snapshots", kMaxFreqSnaps)};
  if (par.nsnapt > lim.timeSnaps)
    throw Stop{6183, aboveLimit("nsnapt", par.nsnapt, "time snapshots", lim.timeSnaps)};

  log.write(kMesh, {par.h});
  log.write(kNsnapf, {hdr.nsnapf});
  std::vector<rec::Value> pairs;
  for (int k = 1; k <= hdr.nsnapf; ++k) {
    pairs.emplace_back(k);
    pairs.emplace_back(hdr.fsnap[k]);
  }
  log.write(kFsnap, pairs);
  log.write(kNsnapt, {par.nsnapt});
  log.write(kNpf, {hdr.npf});
  if (hdr.npf < 1)
    rejectDeckValue(
        log, "npf = " + std::to_string(hdr.npf) + ", the frequency axis needs at least 1 point");
  log.write(kKey, {hdr.key});
  if (hdr.key < 1 || hdr.key > 4)
    rejectDeckValue(log,
                    "key = " + std::to_string(hdr.key) + ", the wavelet type must be 1, 2, 3 or 4");
  log.write(kFreq, {hdr.freq});
  if (!(hdr.freq >= 0.0) || std::isinf(hdr.freq))
    rejectDeckValue(log, "freq = " + realText(hdr.freq) +
                             " kHz, the dominant frequency of the wavelet must be a finite "
                             "number, not negative");
  log.write(kW0, {hdr.w0, hdr.alfa});
  log.write(kStime, {hdr.stime});
  if (hdr.stime < 0.0)
    rejectInput(log, deckLine(hdr.stimeLine) + ": stime = " + realText(hdr.stime) +
                         ", the simulated time must not be negative");
  echoBandPass(log, hdr);
  if (!(hdr.f4 > 0.0))
    rejectDeckValue(log, "f4 = " + realText(hdr.f4) +
                             " kHz, the highest corner frequency must be positive (it fixes the "
                             "frequency step f4 / npf)");
  if (std::isinf(hdr.f4))
    rejectDeckValue(log, "f4 = " + realText(hdr.f4) +
                             " kHz, the highest corner frequency must be finite (it fixes the "
                             "frequency step f4 / npf)");
  log.write(kMaxiter, {par.maxiter});
  log.write(kReduc, {par.reduc});
}

void readMaterialCount(rec::InFile& deck, rec::OutFile& log, DeckHeader& hdr, bool used) {
  static const rec::Layout kNmat("(/1x,' number of materials (nmat) = ',i5)");
  hdr.nmat = readInteger(deck);
  if (!used) {
    log.write(kNmat, {hdr.nmat});
    log.writeList({});
    return;
  }
  if (hdr.nmat > kMaxMaterials)
    throw Stop{222, aboveLimit("nmat", hdr.nmat, "materials", kMaxMaterials)};
  log.write(kNmat, {hdr.nmat});
  if (hdr.nmat < 2)
    rejectDeckValue(log, "nmat = " + std::to_string(hdr.nmat) +
                             ", at least 2 materials are needed (the isotropic tables hold "
                             "materials 1 .. nmat-1)");
  log.writeList({});
}

}  // namespace sw

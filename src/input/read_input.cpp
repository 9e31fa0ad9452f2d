#include "input/read_input.hpp"

#include <algorithm>
#include <string>

#include "core/exit_status.hpp"
#include "input/deck.hpp"
#include "input/frequency_axis.hpp"
#include "input/model_file.hpp"
#include "input/placement.hpp"
#include "input/regions.hpp"
#include "input/tables.hpp"
#include "input/wavelet.hpp"

namespace sw {

namespace {

/// Asks the memory check, if there is one, about the sizes known so far.
void checkMemory(const InputLimits& lim, rec::OutFile& log, const RunSizes& sizes) {
  if (!lim.memory) return;
  const std::string refusal = lim.memory(sizes);
  if (refusal.empty()) return;
  const std::string line = "not enough memory: " + refusal;
  log.writeList({std::string_view(line)});
  log.flush();
  throw NoMemory(refusal);
}

}  // namespace

// The steps run in the order of the log: every value is echoed right after it is read
// or derived, and each check fires at its place in that sequence.
void readInput(InputFiles& in, rec::OutFile& log, RunParams& par, Materials& mat, Vec1<Cx>& sour,
               const InputLimits& lim, GriddedInput* gridded, const ShotInput* shot,
               RecordSpan* record) {
  const Limits& limits = lim.limits;
  WaveletFiles wavelet;
  // A run on a model file leaves nothing but the log when its model is refused: the
  // wavelet files are connected once the model is read.
  if (gridded == nullptr) openWaveletFiles(wavelet, shot != nullptr ? shot->dir : std::string());

  DeckHeader hdr;
  readGrid(in.deck, log, hdr, par, limits);
  readDomain(in.deck, log, hdr, par);
  readHeader(in.deck, log, hdr, par, limits);
  readMaterialCount(in.deck, log, hdr, gridded == nullptr);
  mat.nmat = hdr.nmat;

  const int nf = tableRecords(hdr.f4, hdr.npf);
  checkMemory(lim, log, {par.nx, par.ny, par.nsnapt, nf, 0, 0});
  VelocityRange v;
  if (gridded != nullptr) {
    const std::string line = "material model: the model file " + gridded->path +
                             " (the material count, regions and tables of the deck are not used)";
    log.writeList({std::string_view(line)});
    gridded->grid = readModelFile(gridded->path, par.nx, par.ny, log);
    v = modelVelocities(gridded->grid, nf, hdr.f4 / hdr.npf);
    openWaveletFiles(wavelet, shot != nullptr ? shot->dir : std::string());
  } else {
    // Records beyond the band's limit are read and dropped; the band stops the run later.
    const int tableFreqs = std::min(nf, limits.freqs);
    if (tableFreqs > kMaxFreqs) mat.sizeTables(tableFreqs);
    v = readTables(in, log, hdr.nmat, nf, mat);
  }
  timeStep(log, hdr, v, par, limits);

  const double tmute = readSourceMode(in.deck, log, par, shot != nullptr ? &shot->source : nullptr);
  echoMute(log, tmute, par.dt);
  placeSource(in.deck, log, par, limits, shot != nullptr ? &shot->source : nullptr);
  placeReceivers(in.deck, log, par);

  const BandIndices band = frequencyAxis(log, hdr, nf, par, limits);
  checkMemory(lim, log, {par.nx, par.ny, par.nsnapt, par.jw2, par.nrec, waveletSamples(hdr, par)});
  sourceSpectrum(wavelet, log, hdr, band, par, sour, limits);
  if (record != nullptr)
    *record = RecordSpan{hdr.stime, hdr.f4, hdr.npf, par.nx * par.h, par.ny * par.h,
                         gridded != nullptr ? slowestWave(gridded->grid)
                                            : SlowestWave{v.ssmin, "the slowest S wave"}};

  if (gridded == nullptr) readRegions(in.deck, log, par, mat);
}

}  // namespace sw

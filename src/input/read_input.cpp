#include "input/read_input.hpp"

#include "input/deck.hpp"
#include "input/frequency_axis.hpp"
#include "input/placement.hpp"
#include "input/regions.hpp"
#include "input/tables.hpp"
#include "input/wavelet.hpp"

namespace sw {

// The steps run in the order of the log: every value is echoed right after it is read
// or derived, and each check fires at its place in that sequence.
void readInput(InputFiles& in, rec::OutFile& log, RunParams& par, Materials& mat, Vec1<Cx>& sour) {
  WaveletFiles wavelet;
  openWaveletFiles(wavelet);

  DeckHeader hdr;
  readGrid(in.deck, log, hdr, par);
  readDomain(in.deck, log, hdr, par);
  readHeader(in.deck, log, hdr, par);
  readMaterialCount(in.deck, log, hdr);
  mat.nmat = hdr.nmat;

  const int nf = tableRecords(hdr.f4, hdr.npf);
  const VelocityRange v = readTables(in, log, hdr.nmat, nf, mat);
  timeStep(log, hdr, v, par);

  const double tmute = readSourceMode(in.deck, log, par);
  echoMute(log, tmute, par.dt);
  placeSource(in.deck, log, par);
  placeReceivers(in.deck, log, par);

  const BandIndices band = frequencyAxis(log, hdr, nf, par);
  sourceSpectrum(wavelet, log, hdr, band, par, sour);

  readRegions(in.deck, log, par, mat);
}

}  // namespace sw

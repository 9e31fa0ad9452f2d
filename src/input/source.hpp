#pragma once
/// The source wavelet, the frequency axis, the band-pass taper and the source spectrum,
/// with the four wavelet files.

#include <vector>

#include "driver/cx.hpp"
#include "driver/params.hpp"
#include "input/deck.hpp"
#include "records/out_file.hpp"

namespace sw {

/// The four wavelet files, each written by one write with the layout (2e20.8).
struct WaveletFiles {
  rec::OutFile unfiltered;        ///< "fuente_sin_filtrar": time, wavelet before the taper
  rec::OutFile filtered;          ///< "fuente_filtrada": time, inverse of the tapered spectrum
  rec::OutFile spectrum;          ///< "espectro_sin_filtrar": frequency, |spectrum|
  rec::OutFile filteredSpectrum;  ///< "espectro_filtrado": frequency, |tapered spectrum|
};

/// Opens the wavelet files in the order of their units 111, 333, 222, 444; each is put in
/// place when written (a name with nothing there is created empty at once).
void openWaveletFiles(WaveletFiles& files);

/// Frequency indices of the corner frequencies f1 .. f4.
struct BandIndices {
  int if1 = 0, if2 = 0, if3 = 0, if4 = 0;
};

/// Wavelet parameters of type 2 (derivative of a Gaussian).
struct GaussPulse {
  double psi = 0.0, width = 0.0, ts = 0.0, totpul = 0.0;
  int npul = 0;  ///< pulse length in samples
};

/// Mute length in samples and its echo (no later step uses it).
void echoMute(rec::OutFile& log, double tmute, double dt);

/// The frequency axis: Nyquist limit, delf, delw, corner and snapshot indices, jw1, jw2,
/// jwlow, with their echo and limits; nf is the number of table records per material.
BandIndices frequencyAxis(rec::OutFile& log, const DeckHeader& hdr, int nf, RunParams& par);

/// Pulse parameters of wavelet type 2 for the dominant frequency freq and step dt.
GaussPulse gaussPulse(double freq, double dt);

/// Sample k (time k dt) of the wavelet of type key, before normalisation.
double waveletSample(int key, int k, double dt, const DeckHeader& hdr, const GaussPulse& g);

/// Divides the samples w[1 .. nt] by their largest magnitude and flushes to zero what
/// falls below 1e-14 (in single precision).  Returns that magnitude.
double normaliseWavelet(std::vector<double>& w, int nt);

/// Linear high-frequency taper of spectrum[1 .. jw2]: factor (if4 - j) / (if4 - if3) from
/// j = if3 on; nothing when if3 is 1 or above if4.  Indices below 1 are skipped.
void taperSpectrum(Cx* spectrum, int jw2, int if3, int if4);

/// The wavelet of type key, its normalisation, spectrum and taper, the four wavelet
/// files (each committed once written) and the source spectrum sour(1 .. jw2); nt may be raised by type 2.
void sourceSpectrum(WaveletFiles& files, rec::OutFile& log, const DeckHeader& hdr,
                    const BandIndices& band, RunParams& par, Vec1<Cx>& sour);

}  // namespace sw

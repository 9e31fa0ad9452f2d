#pragma once
/// The source wavelet, its spectrum and band-pass taper, and the four wavelet files.

#include <string>
#include <vector>

#include "core/complex.hpp"
#include "input/deck.hpp"
#include "input/frequency_axis.hpp"
#include "model/run_params.hpp"
#include "records/out_file.hpp"

namespace sw {

/// The four wavelet files, each written by one write with the layout (2e20.8).
struct WaveletFiles {
  rec::OutFile unfiltered;        ///< time, wavelet before the taper
  rec::OutFile filtered;          ///< time, inverse of the tapered spectrum
  rec::OutFile spectrum;          ///< frequency, |spectrum|
  rec::OutFile filteredSpectrum;  ///< frequency, |tapered spectrum|
};

/// Opens the wavelet files, unfiltered and filtered wavelet first, then the two spectra;
/// each is put in place when written (a name with nothing there is created empty at once).
/// They are those of directory `dir` (empty: the run directory).
void openWaveletFiles(WaveletFiles& out, const std::string& dir = "");

/// Wavelet parameters of type 2 (derivative of a Gaussian).
struct GaussPulse {
  double psi = 0.0, width = 0.0, ts = 0.0, totpul = 0.0;
  int npul = 0;  ///< pulse length in samples
};

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

/// Time samples of the wavelet: nt, raised to the pulse length for type 2.
int waveletSamples(const DeckHeader& hdr, const RunParams& par);

/// The wavelet of type key, its normalisation, spectrum and taper, the four wavelet
/// files (each put in place once written) and the source spectrum sour(1 .. jw2); nt may be
/// raised by type 2.
void sourceSpectrum(WaveletFiles& out, rec::OutFile& log, const DeckHeader& hdr,
                    const BandIndices& band, RunParams& par, Vec1<Cx>& sour,
                    const Limits& lim = {});

}  // namespace sw

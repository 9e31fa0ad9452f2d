#include "input/wavelet.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <string>
#include <utility>

#include "core/constants.hpp"
#include "core/exit_status.hpp"
#include "core/fourier.hpp"
#include "core/truncate.hpp"
#include "input/reject.hpp"
#include "input/run_files.hpp"

namespace sw {

namespace {

const rec::Layout& layoutPairs() {
  static const rec::Layout l("(2e20.8)");
  return l;
}

/// The pairs (first(k), second[k]), k = 1 .. n, interleaved for one (2e20.8) write.
template <class First, class Second>
std::vector<double> interleave(int n, First first, Second second) {
  std::vector<double> v;
  for (int k = 1; k <= n; ++k) {
    v.push_back(first(k));
    v.push_back(second(k));
  }
  return v;
}

/// Modulus as the square root of the sum of the squared parts.
double modulus(Cx a) { return std::sqrt(a.re * a.re + a.im * a.im); }

}  // namespace

void openWaveletFiles(WaveletFiles& out, const std::string& dir) {
  const std::pair<rec::OutFile*, const char*> named[4] = {
      {&out.unfiltered, files::kWavelet},
      {&out.filtered, files::kFilteredWavelet},
      {&out.spectrum, files::kSpectrum},
      {&out.filteredSpectrum, files::kFilteredSpectrum}};
  for (const auto& [file, name] : named) {
    // A run that stops before the wavelet is written leaves these names as empty files,
    // as the established program does; an earlier run's file keeps its content.
    const std::string path = files::inDirectory(dir, name);
    rec::createIfMissing(path);
    file->openForCommit(path);
  }
}

GaussPulse gaussPulse(double freq, double dt) {
  GaussPulse g;
  g.psi = 8.0 * freq * freq;
  g.width = 0.5 / freq;
  g.ts = 2.5 * g.width;
  g.totpul = 3.0 * g.ts;
  // The constant 1.0001 is a single-precision literal in the established formula.
  g.npul = truncateToInt(g.totpul / dt + static_cast<double>(1.0001f));
  return g;
}

double waveletSample(int key, int k, double dt, const DeckHeader& hdr, const GaussPulse& g) {
  const double alfa = hdr.alfa, w0 = hdr.w0;
  switch (key) {
    case 1: {
      const double t = k * dt;
      return (4.0 * alfa * t) * std::exp(-alfa * t) * std::sin(w0 * t);
    }
    case 2: {
      const double t = k * dt - g.ts;
      return std::exp(-(t * t) * g.psi) * (t * (-2.0 * g.psi));
    }
    case 3: {
      const double t = k * dt;
      return (std::sin(2.0 * w0 * t) + std::sin(w0 * t)) * (4.0 * alfa * t) * std::exp(-alfa * t);
    }
    case 4: {
      const double period = 1.0 / hdr.freq;
      const double t = k * dt;
      const double x = (t - 1.4 * period) * kPi / period;
      const double u = x * x;
      return std::exp(-u) * (u - 0.5);
    }
    default:
      return 0.0;
  }
}

double normaliseWavelet(std::vector<double>& w, int nt) {
  double amax = 0.0;
  for (int k = 1; k <= nt; ++k)
    if (std::fabs(w[k]) > amax) amax = std::fabs(w[k]);
  if (amax == 0.0) return amax;
  const double tiny = static_cast<double>(1.0e-14f);
  for (int k = 1; k <= nt; ++k) {
    w[k] = w[k] / amax;
    if (std::fabs(w[k]) < tiny) w[k] = 0.0;
  }
  return amax;
}

void taperSpectrum(Cx* spectrum, int jw2, int if3, int if4) {
  if (if3 == 1 || if3 > if4) return;
  // Differences in double: a very negative f3 gives an if3 whose distance to if4 does
  // not fit in an int.
  const double den = static_cast<double>(if4) - static_cast<double>(if3);
  for (int j = if3 < 1 ? 1 : if3; j <= jw2; ++j) {
    const double factor = static_cast<double>(if4 - j) / den;
    spectrum[j] = spectrum[j] * factor;
  }
}

int waveletSamples(const DeckHeader& hdr, const RunParams& par) {
  return hdr.key == 2 ? std::max(par.nt, gaussPulse(hdr.freq, par.dt).npul) : par.nt;
}

void sourceSpectrum(WaveletFiles& out, rec::OutFile& log, const DeckHeader& hdr,
                    const BandIndices& band, RunParams& par, Vec1<Cx>& sour, const Limits& lim) {
  static const rec::Layout kPulse("(/1x,' pulse length in samples',i8)");
  static const rec::Layout kPsi("(/1x,'psi=',e20.8,'width=',e20.8,'msec')");
  static const rec::Layout kTs("(/1x,'ts=',e20.8,'msec. totpul=',e20.8,'msec')");

  GaussPulse g;
  if (hdr.key == 2) {
    g = gaussPulse(hdr.freq, par.dt);
    log.write(kPulse, {g.npul});
    log.write(kPsi, {g.psi, g.width});
    log.write(kTs, {g.ts, g.totpul});
    log.write(kPulse, {par.nt});
    if (g.npul > lim.samples)
      throw Stop{12345, "the type-2 pulse of freq = " + realText(hdr.freq) + " lasts " +
                            realText(g.totpul) + " (7.5 / freq), npul = " + std::to_string(g.npul) +
                            " samples of dt = " + realText(par.dt) + ", above the limit of " +
                            std::to_string(lim.samples) +
                            "; raise freq, or check the units of freq and of the velocities"};
    if (g.npul > par.nt) par.nt = g.npul;
  }

  const int nt = par.nt, jw2 = par.jw2;
  const double dt = par.dt, delf = par.delf, delw = par.delw;
  // Sized to the run, never below the established capacities.
  const int freqs = std::max(jw2, kMaxFreqs);
  std::vector<double> w(static_cast<std::size_t>(std::max(nt, kMaxSamples)) + 1, 0.0);
  for (int k = 0; k < nt; ++k) w[k + 1] = waveletSample(hdr.key, k, dt, hdr, g);
  if (nt > 0 && normaliseWavelet(w, nt) == 0.0)
    rejectInput(log, "the source wavelet of type " + std::to_string(hdr.key) + " is zero at all " +
                         std::to_string(nt) + " samples and cannot be normalised");

  const auto time = [dt](int k) { return (k - 1) * dt; };
  // Formed as (j - 1) delf + 0.5 delf, not with frequencyOfIndex: the reference spectrum
  // files were written in this order, which can differ from it in the last bit.
  const auto frequency = [delf](int j) { return (j - 1) * delf + 0.5 * delf; };
  out.unfiltered.writeReals(layoutPairs(), interleave(nt, time, [&w](int k) { return w[k]; }));
  out.unfiltered.commit();

  std::vector<Cx> spectrum(static_cast<std::size_t>(freqs) + 1);
  forwardFourier(w.data(), nt, spectrum.data(), jw2, dt, delw);
  out.spectrum.writeReals(layoutPairs(), interleave(jw2, frequency, [&spectrum](int j) {
                            return modulus(spectrum[j]);
                          }));
  out.spectrum.commit();

  taperSpectrum(spectrum.data(), jw2, band.if3, band.if4);
  out.filteredSpectrum.writeReals(layoutPairs(), interleave(jw2, frequency, [&spectrum](int j) {
                                    return modulus(spectrum[j]);
                                  }));
  out.filteredSpectrum.commit();
  sour = Vec1<Cx>(freqs);
  for (int j = 1; j <= jw2; ++j) sour(j) = spectrum[j];
  if (par.damping != 0.0) {
    // At the complex frequencies w - i a: the spectrum of the wavelet times exp(-a t),
    // with the same taper.
    std::vector<double> damped(w.size(), 0.0);
    for (int k = 1; k <= nt; ++k) damped[k] = w[k] * std::exp(-(par.damping * time(k)));
    std::vector<Cx> shifted(static_cast<std::size_t>(freqs) + 1);
    forwardFourier(damped.data(), nt, shifted.data(), jw2, dt, delw);
    taperSpectrum(shifted.data(), jw2, band.if3, band.if4);
    for (int j = 1; j <= jw2; ++j) sour(j) = shifted[j];
  }

  inverseFourier(spectrum.data(), jw2, w.data(), nt, dt, delw);
  out.filtered.writeReals(layoutPairs(), interleave(nt, time, [&w](int k) { return w[k]; }));
  out.filtered.commit();
}

}  // namespace sw

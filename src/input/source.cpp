#include "input/source.hpp"

#include <cmath>
#include <string>
#include <utility>

#include "driver/stop.hpp"
#include "input/reject.hpp"
#include "output/fourier.hpp"

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

void openWaveletFiles(WaveletFiles& files) {
  const std::pair<rec::OutFile*, const char*> named[4] = {
      {&files.unfiltered, "fuente_sin_filtrar"},
      {&files.filtered, "fuente_filtrada"},
      {&files.spectrum, "espectro_sin_filtrar"},
      {&files.filteredSpectrum, "espectro_filtrado"}};
  for (const auto& [file, name] : named) {
    // A run that stops before the wavelet is written leaves these names as empty files,
    // as the established program does; an earlier run's file keeps its content.
    rec::createIfMissing(name);
    file->openForCommit(name);
  }
}

void echoMute(rec::OutFile& log, double tmute, double dt) {
  static const rec::Layout kMute(
      "(/1x,'  mute in msec  tmute = ',e20.8,/,                  ' mute in samples   ntmute = "
      "',i5/)");
  const int ntmute = tmute > 0.0 ? truncInt(tmute / dt) : 0;
  log.write(kMute, {tmute, ntmute});
}

BandIndices frequencyAxis(rec::OutFile& log, const DeckHeader& hdr, int nf, RunParams& par) {
  static const rec::Layout kNyquist("(/1x,' nyquist frequency = ',e20.8,' khz')");
  static const rec::Layout kSteps(
      "(/1x,' dt  = ',e20.8,'  msec',//                                      ' delf = "
      "',e20.8,'  khz'//,                                       ' delw = ',e20.8,'  2 "
      "pi*khz',//)");
  static const rec::Layout kFreqIndices("(/1x,' freq. indices for snapshots ',/,i5,2x,i5)");
  static const rec::Layout kTimeSteps("(/1x,' time steps for snapshots ',/,i5,2x,i5)");
  static const rec::Layout kCorners("(/1x,' if1 if2 if3 if4 =',4i6)");
  static const rec::Layout kBand("(/1x,'jw1 - jw2 - jwlow ',3i7)");

  const double fnyq = 1.0 / (2.0 * par.dt);
  par.delf = hdr.f4 / hdr.npf;
  par.delw = 2.0 * kPi * par.delf;
  log.write(kNyquist, {fnyq});
  if (hdr.f4 > fnyq) throw Stop{98765};
  log.write(kSteps, {par.dt, par.delf, par.delw});
  echoBandPass(log, hdr);

  BandIndices b;
  b.if1 = truncInt(hdr.f1 / par.delf + 1.0);
  b.if2 = truncInt(hdr.f2 / par.delf + 1.0);
  b.if3 = truncInt(hdr.f3 / par.delf + 1.0);
  b.if4 = truncInt(hdr.f4 / par.delf + 1.0);
  if (b.if3 == b.if4) b.if3 = b.if4 - 1;

  std::vector<rec::Value> freqPairs, timePairs;
  for (int k = 1; k <= hdr.nsnapf; ++k) {
    freqPairs.emplace_back(k);
    freqPairs.emplace_back(truncInt(hdr.fsnap[k] / par.delf + 1.0));
  }
  for (int k = 1; k <= par.nsnapt; ++k) {
    par.itsnap(k) = truncInt(hdr.tsnap[k] / par.dt);
    timePairs.emplace_back(k);
    timePairs.emplace_back(par.itsnap(k));
  }
  log.write(kFreqIndices, freqPairs);
  log.write(kTimeSteps, timePairs);

  par.jw1 = 1;
  par.jw2 = b.if4 - 1;
  par.jwlow = truncInt(par.jw2 * hdr.perclow);
  log.write(kCorners, {b.if1, b.if2, b.if3, b.if4});
  log.write(kBand, {par.jw1, par.jw2, par.jwlow});
  if (par.jw2 > kMaxFreqs) throw Stop{33377};
  if (par.jw2 != nf)
    rejectInput(log, "the band has jw2 = " + std::to_string(par.jw2) +
                         " frequency indices but the tables hold nf = " + std::to_string(nf) +
                         " records per material (f4 / delf rounds across an integer)");
  return b;
}

GaussPulse gaussPulse(double freq, double dt) {
  GaussPulse g;
  g.psi = 8.0 * freq * freq;
  g.width = 0.5 / freq;
  g.ts = 2.5 * g.width;
  g.totpul = 3.0 * g.ts;
  // The constant 1.0001 is a single-precision literal in the established formula.
  g.npul = truncInt(g.totpul / dt + static_cast<double>(1.0001f));
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

void sourceSpectrum(WaveletFiles& files, rec::OutFile& log, const DeckHeader& hdr,
                    const BandIndices& band, RunParams& par, Vec1<Cx>& sour) {
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
    if (g.npul > kMaxSamples) throw Stop{12345};
    if (g.npul > par.nt) par.nt = g.npul;
  }

  const int nt = par.nt, jw2 = par.jw2;
  const double dt = par.dt, delf = par.delf, delw = par.delw;
  std::vector<double> w(kMaxSamples + 1, 0.0);
  for (int k = 0; k < nt; ++k) w[k + 1] = waveletSample(hdr.key, k, dt, hdr, g);
  if (nt > 0 && normaliseWavelet(w, nt) == 0.0)
    rejectInput(log, "the source wavelet of type " + std::to_string(hdr.key) + " is zero at all " +
                         std::to_string(nt) + " samples and cannot be normalised");

  const auto time = [dt](int k) { return (k - 1) * dt; };
  const auto frequency = [delf](int j) { return (j - 1) * delf + 0.5 * delf; };
  files.unfiltered.writeReals(layoutPairs(), interleave(nt, time, [&w](int k) { return w[k]; }));
  files.unfiltered.commit();

  std::vector<Cx> spectrum(kMaxFreqs + 1);
  ffu2(w.data(), nt, spectrum.data(), jw2, dt, delw);
  files.spectrum.writeReals(layoutPairs(), interleave(jw2, frequency, [&spectrum](int j) {
                              return modulus(spectrum[j]);
                            }));
  files.spectrum.commit();

  taperSpectrum(spectrum.data(), jw2, band.if3, band.if4);
  files.filteredSpectrum.writeReals(layoutPairs(), interleave(jw2, frequency, [&spectrum](int j) {
                                      return modulus(spectrum[j]);
                                    }));
  files.filteredSpectrum.commit();
  sour = Vec1<Cx>(kMaxFreqs);
  for (int j = 1; j <= jw2; ++j) sour(j) = spectrum[j];

  finvu2(spectrum.data(), jw2, w.data(), nt, dt, delw);
  files.filtered.writeReals(layoutPairs(), interleave(nt, time, [&w](int k) { return w[k]; }));
  files.filtered.commit();
}

}  // namespace sw

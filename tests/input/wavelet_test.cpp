// Frequency axis, wavelet types, normalisation, taper and the four wavelet files.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "core/exit_status.hpp"
#include "input/frequency_axis.hpp"
#include "input/run_files.hpp"
#include "input/wavelet.hpp"
#include "records/out_file.hpp"
#include "support/input_harness.hpp"

namespace sw::test {
namespace {

using Kind = Outcome::Kind;

std::string rejection(const std::string& message) { return " input error: " + message; }

/// The second column of a (2e20.8) file.
std::vector<double> secondColumn(const std::string& text) {
  std::vector<double> v;
  for (const std::string& l : lines(text)) v.push_back(std::strtod(l.substr(20).c_str(), nullptr));
  return v;
}

/// A deck for the slow medium of writeSlowRun (dt = 0.1, Nyquist frequency 5).
TestDeck slowDeck() {
  TestDeck d;
  d.stime = 5.0;  // nt = 50
  d.freq = 0.5;
  d.f3 = 1.5;
  d.f4 = 2.0;
  d.npf = 200;  // delf = 0.01, if4 = 201, jw2 = 200
  d.perclow = 0.3;
  d.nsnapf = 1;
  d.fsnap = {0.5};
  d.nsnapt = 2;
  d.tsnap = {10.0, 9.99};
  return d;
}

TEST(GaussPulse, HalfKilohertzAtOneTenthGives76Samples) {
  const GaussPulse g = gaussPulse(0.5, 0.1);
  EXPECT_EQ(g.psi, 2.0);
  EXPECT_EQ(g.width, 1.0);
  EXPECT_EQ(g.ts, 2.5);
  EXPECT_EQ(g.totpul, 7.5);
  EXPECT_EQ(g.npul, 76);
}

TEST(FrequencyAxis, SlowDeckGivesTheWorkedBand) {
  ScratchDir dir;
  TestDeck d = slowDeck();
  d.key = 1;
  const InputRun r = readDeck(d, true);
  ASSERT_EQ(r.outcome.kind, Kind::Returned) << r.outcome.message;
  EXPECT_EQ(r.par.delf, 0.01);
  EXPECT_EQ(r.par.jw1, 1);
  EXPECT_EQ(r.par.jw2, 200);
  EXPECT_EQ(r.par.jwlow, 60);
  EXPECT_EQ(r.par.itsnap(1), 100);
  EXPECT_EQ(r.par.itsnap(2), 99);
  EXPECT_NE(r.log.find("\n  nyquist frequency =       0.50000000E+01 khz\n"), std::string::npos);
  EXPECT_NE(r.log.find("\n  freq. indices for snapshots \n    1     51\n"), std::string::npos);
  EXPECT_NE(r.log.find("\n  time steps for snapshots \n    1    100\n\n"
                       "  time steps for snapshots \n    2     99\n"),
            std::string::npos);
  EXPECT_NE(r.log.find("\n  if1 if2 if3 if4 =     1     1   151   201\n\n"
                       " jw1 - jw2 - jwlow       1    200     60\n"),
            std::string::npos);
  const std::vector<std::string> spectrum = lines(readBytes("espectro_sin_filtrar"));
  ASSERT_EQ(spectrum.size(), 200u);
  EXPECT_EQ(spectrum[0].substr(0, 20), "      0.50000000E-02");
  EXPECT_EQ(spectrum[1].substr(0, 20), "      0.15000000E-01");
  EXPECT_EQ(spectrum[199].substr(0, 20), "      0.19950000E+01");
}

TEST(FrequencyAxis, F4AtTheNyquistFrequencyPasses) {
  ScratchDir dir;
  TestDeck d = slowDeck();
  d.f4 = 5.0;
  d.npf = 10;
  const InputRun r = readDeck(d, true);
  ASSERT_EQ(r.outcome.kind, Kind::Returned) << r.outcome.message;
}

TEST(FrequencyAxis, BandThatDisagreesWithTheTablesIsRejected) {
  ScratchDir dir;
  rec::OutFile log;
  log.open("output");
  DeckHeader hdr;
  hdr.npf = 6;
  hdr.f4 = 150.0;
  hdr.perclow = 0.2;
  RunParams par;
  par.dt = 1.0 / 600.0;
  const std::string msg =
      "the band has jw2 = 6 frequency indices but the tables hold nf = 5 records per material "
      "(f4 / delf rounds across an integer)";
  try {
    frequencyAxis(log, hdr, 5, par);
    FAIL() << "no rejection";
  } catch (const InputError& e) {
    EXPECT_EQ(std::string(e.what()), msg);
  }
  log.flush();
  EXPECT_EQ(lastLines(readBytes("output"), 2),
            (std::vector<std::string>{" jw1 - jw2 - jwlow       1      6      1", rejection(msg)}));
}

TEST(Wavelet, TypeTwoRaisesNtToThePulseLength) {
  ScratchDir dir;
  TestDeck d = slowDeck();
  d.key = 2;
  const InputRun r = readDeck(d, true);
  ASSERT_EQ(r.outcome.kind, Kind::Returned) << r.outcome.message;
  EXPECT_EQ(r.par.nt, 76);
  EXPECT_NE(r.log.find("\n  pulse length in samples      76\n\n"
                       " psi=      0.20000000E+01width=      0.10000000E+01msec\n\n"
                       " ts=      0.25000000E+01msec. totpul=      0.75000000E+01msec\n\n"
                       "  pulse length in samples      50\n"),
            std::string::npos);
  EXPECT_EQ(lines(readBytes("fuente_sin_filtrar")).size(), 76u);
  EXPECT_EQ(lines(readBytes("fuente_filtrada")).size(), 76u);
  EXPECT_EQ(lines(readBytes("espectro_filtrado")).size(), 200u);
}

TEST(Wavelet, EveryTypeIsNormalisedToLargestMagnitudeOne) {
  for (int key = 1; key <= 4; ++key) {
    ScratchDir dir;
    TestDeck d;
    d.key = key;
    const InputRun r = readDeck(d);
    ASSERT_EQ(r.outcome.kind, Kind::Returned) << r.outcome.message;
    double amax = 0.0;
    for (double v : secondColumn(readBytes("fuente_sin_filtrar")))
      amax = std::max(amax, std::fabs(v));
    EXPECT_EQ(amax, 1.0) << "key " << key;
  }
}

TEST(Wavelet, TypeOneStartsAtZero) {
  ScratchDir dir;
  TestDeck d;
  const InputRun r = readDeck(d);
  ASSERT_EQ(r.outcome.kind, Kind::Returned) << r.outcome.message;
  EXPECT_EQ(lines(readBytes("fuente_sin_filtrar"))[0], "      0.00000000E+00      0.00000000E+00");
}

TEST(Wavelet, SmallSamplesAreFlushedToZeroAfterNormalisation) {
  std::vector<double> w(5, 0.0);
  w[1] = 2.0;
  w[2] = -1.0e-14;        // 0.5e-14 after the division: below the single-precision 1e-14
  w[3] = 3.99999998e-14;  // 9.99999995e-15 after the division: below 1e-14 but kept
  w[4] = -4.0;
  EXPECT_EQ(normaliseWavelet(w, 4), 4.0);
  EXPECT_EQ(w[1], 0.5);
  EXPECT_EQ(w[2], 0.0);
  EXPECT_EQ(w[3], 3.99999998e-14 / 4.0);
  EXPECT_EQ(w[4], -1.0);
}

TEST(Taper, FallsLinearlyFromIf3AndSkipsIndicesBelowOne) {
  std::vector<Cx> spectrum(8, Cx{1.0, -2.0});
  taperSpectrum(spectrum.data(), 6, -5, 7);
  EXPECT_EQ(spectrum[0], (Cx{1.0, -2.0}));  // index 0 is not part of the spectrum
  for (int j = 1; j <= 6; ++j) {
    const double f = (7.0 - j) / 12.0;
    EXPECT_EQ(spectrum[j], (Cx{1.0 * f, -2.0 * f})) << j;
  }
  EXPECT_EQ(spectrum[7], (Cx{1.0, -2.0}));
}

TEST(Taper, StartsAtIf3WithFactorOne) {
  std::vector<Cx> spectrum(8, Cx{3.0, 1.0});
  taperSpectrum(spectrum.data(), 6, 4, 7);
  EXPECT_EQ(spectrum[3], (Cx{3.0, 1.0}));
  EXPECT_EQ(spectrum[4], (Cx{3.0, 1.0}));
  EXPECT_EQ(spectrum[5], (Cx{3.0 * (2.0 / 3.0), 1.0 * (2.0 / 3.0)}));
  EXPECT_EQ(spectrum[6], (Cx{3.0 * (1.0 / 3.0), 1.0 * (1.0 / 3.0)}));
}

TEST(Taper, If3OfOneOrAboveIf4LeavesTheSpectrum) {
  std::vector<Cx> spectrum(8, Cx{3.0, 1.0});
  taperSpectrum(spectrum.data(), 6, 1, 7);
  taperSpectrum(spectrum.data(), 6, 9, 7);
  for (int j = 1; j <= 6; ++j) EXPECT_EQ(spectrum[j], (Cx{3.0, 1.0}));
}

TEST(Taper, F3AtZeroOrInTheBinOfF4LeavesTheSpectrumUnfiltered) {
  // In the bin of f4, if3 is one below if4.
  for (const auto& [f3, indices] :
       {std::pair{0.0, "1     1     1     7"}, std::pair{150.0, "1     1     6     7"}}) {
    SCOPED_TRACE(f3);
    ScratchDir dir;
    TestDeck d;
    d.f3 = f3;
    const InputRun r = readDeck(d);
    ASSERT_EQ(r.outcome.kind, Kind::Returned) << r.outcome.message;
    EXPECT_NE(r.log.find(std::string("\n  if1 if2 if3 if4 =     ") + indices + "\n"),
              std::string::npos);
    EXPECT_EQ(readBytes("espectro_filtrado"), readBytes("espectro_sin_filtrar"));
    EXPECT_EQ(readBytes("espectro_filtrado").size(), 6u * 41u);
  }
}

TEST(Taper, NegativeF3TapersFromTheFirstIndex) {
  ScratchDir dir;
  TestDeck d;
  d.f3 = -30.0;  // if3 = int(-0.2) = 0
  const InputRun r = readDeck(d);
  ASSERT_EQ(r.outcome.kind, Kind::Returned) << r.outcome.message;
  EXPECT_NE(r.log.find("\n  if1 if2 if3 if4 =     1     1     0     7\n"), std::string::npos);
  const std::vector<double> before = secondColumn(readBytes("espectro_sin_filtrar"));
  const std::vector<double> after = secondColumn(readBytes("espectro_filtrado"));
  ASSERT_EQ(after.size(), 6u);
  for (int j = 1; j <= 6; ++j)
    EXPECT_NEAR(after[j - 1], before[j - 1] * (7.0 - j) / 7.0, 2e-8 * before[j - 1]) << j;
}

TEST(Mute, NonPositiveMuteHasNoSamples) {
  ScratchDir dir;
  TestDeck d;
  d.tmute = -1.0;
  const InputRun r = readDeck(d);
  ASSERT_EQ(r.outcome.kind, Kind::Returned) << r.outcome.message;
  EXPECT_NE(r.log.find("\n   mute in msec  tmute =      -0.10000000E+01\n"
                       " mute in samples   ntmute =     0\n\n"),
            std::string::npos);
}

}  // namespace
}  // namespace sw::test

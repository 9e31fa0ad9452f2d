#include "core/fourier.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "core/constants.hpp"

namespace sw {
namespace {

TEST(ForwardFourier, UnitImpulseAtTimeZeroGivesDtAtEveryFrequency) {
  const int nt = 6, nw = 8;
  const double dt = 0.125, dw = 0.9;
  std::vector<double> f(nt + 1, 0.0);
  f[1] = 1.0;
  std::vector<Cx> spectrum(nw + 1);
  forwardFourier(f.data(), nt, spectrum.data(), nw, dt, dw);
  for (int i = 1; i <= nw; ++i) {
    EXPECT_EQ(spectrum[i].re, dt) << i;
    EXPECT_EQ(spectrum[i].im, 0.0) << i;
  }
}

TEST(ForwardFourier, DelayedImpulseCarriesTheDelayPhase) {
  // exp(+i w t) convention: a sample at time t0 transforms to dt exp(-i w t0).
  const int nt = 4, nw = 5;
  const double dt = 0.2, dw = 1.3;
  std::vector<double> f(nt + 1, 0.0);
  f[3] = 1.0;  // t0 = 2 dt
  std::vector<Cx> spectrum(nw + 1);
  forwardFourier(f.data(), nt, spectrum.data(), nw, dt, dw);
  for (int i = 1; i <= nw; ++i) {
    const double w = (i - 0.5) * dw;
    EXPECT_NEAR(spectrum[i].re, dt * std::cos(w * 2 * dt), 1e-15) << i;
    EXPECT_NEAR(spectrum[i].im, -dt * std::sin(w * 2 * dt), 1e-15) << i;
  }
}

TEST(ForwardFourier, NoTimeSamplesGivesZeros) {
  std::vector<double> f(2, 5.0);
  std::vector<Cx> spectrum(4, Cx{7.0, 7.0});
  forwardFourier(f.data(), 0, spectrum.data(), 3, 0.1, 0.2);
  for (int i = 1; i <= 3; ++i) EXPECT_EQ(spectrum[i], Cx{});
}

TEST(InverseFourier, RealOrImaginaryFirstSampleGivesACosineOrAMinusSineAtHalfTheStep) {
  const int nw = 5, nt = 40;
  const double dt = 0.05, dw = 1.7;
  for (const bool imaginary : {false, true}) {
    std::vector<Cx> spectrum(nw + 1);
    spectrum[1] = imaginary ? Cx{0.0, 1.0} : Cx{1.0, 0.0};
    std::vector<double> f(nt + 1);
    inverseFourier(spectrum.data(), nw, f.data(), nt, dt, dw);
    if (imaginary) EXPECT_EQ(f[1], 0.0);
    for (int i = 1; i <= nt; ++i) {
      const double wt = 0.5 * dw * (i - 1) * dt;
      EXPECT_DOUBLE_EQ(f[i], (dw / kPi) * (imaginary ? -std::sin(wt) : std::cos(wt)))
          << (imaginary ? "imaginary " : "real ") << i;
    }
  }
}

TEST(InverseFourier, NoFrequenciesGivesZeros) {
  std::vector<Cx> spectrum(2, Cx{3.0, 4.0});
  std::vector<double> f(6, 9.0);
  inverseFourier(spectrum.data(), 0, f.data(), 5, 0.1, 0.2);
  for (int i = 1; i <= 5; ++i) EXPECT_EQ(f[i], 0.0) << i;
}

TEST(InverseFourier, InvertsTheForwardTransformOfABandLimitedPulse) {
  // A pulse well inside the time window and the frequency band: the pair of direct
  // sums reproduces it up to the truncation of the band.
  const int nt = 200, nw = 200;
  const double dt = 0.01;
  const double dw = kPi / (nt * dt);  // spectral samples dense enough for the window
  std::vector<double> f(nt + 1);
  for (int i = 1; i <= nt; ++i) {
    const double t = (i - 1) * dt - 0.8;
    f[i] = std::exp(-t * t / (2 * 0.05 * 0.05));
  }
  std::vector<Cx> spectrum(nw + 1);
  forwardFourier(f.data(), nt, spectrum.data(), nw, dt, dw);
  std::vector<double> back(nt + 1);
  inverseFourier(spectrum.data(), nw, back.data(), nt, dt, dw);
  for (int i = 1; i <= nt; ++i) EXPECT_NEAR(back[i], f[i], 1e-6) << i;
}

}  // namespace
}  // namespace sw

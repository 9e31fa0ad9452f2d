// Fields solved at the complex frequencies w - i a are those of the signal damped by
// exp(-a t): the accumulation takes their velocity as i (w - i a) u and the time-domain
// files take the gain exp(a t) back.  Checked on a displacement whose spectrum at complex
// frequencies is known exactly, u(t) = t^2 exp(-b t) (t >= 0): U(w) = 2 / (b + i w)^3.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/constants.hpp"
#include "output/accumulate.hpp"
#include "output/time_domain_files.hpp"
#include "support/files.hpp"

namespace sw::test {
namespace {

constexpr double kB = 4.0;     // decay of u: 0.018 of its peak is left one period later
constexpr double kDelf = 1.0;  // the period 1 / delf = 1
constexpr int kFreqs = 400;    // up to 400, below the Nyquist frequency 500 of dt
constexpr double kDt = 1e-3;
constexpr int kSamples = 500;   // half the period
constexpr int kSnapStep = 201;  // t = 0.2

/// The velocity du/dt = (2 t - b t^2) exp(-b t).
double velocity(double t) { return (2.0 * t - kB * t * t) * std::exp(-kB * t); }

/// 2 / (b + i z)^3 at the complex frequency z = w - i a, written out.
Cx spectrum(double w, double a) {
  const std::complex<double> z(w, -a);
  const std::complex<double> d = kB + std::complex<double>(0.0, 1.0) * z;
  const std::complex<double> u = 2.0 / (d * d * d);
  return {u.real(), u.imag()};
}

struct Synthesised {
  std::vector<double> trace;
  double snapshot = 0.0;
};

/// The trace and snapshot of one element whose displacement spectrum is U(w - i a).
Synthesised synthesise(double a) {
  RunParams par;
  par.nx = par.ny = 1;
  par.jw1 = 1;
  par.jw2 = kFreqs;
  par.delf = kDelf;
  par.delw = kTwoPi * kDelf;
  par.dt = kDt;
  par.nt = kSamples;
  par.nsnapt = 1;
  par.itsnap(1) = kSnapStep;
  par.nrec = 1;
  par.irx(1) = par.iry(1) = 1;
  par.damping = a;
  Accumulators acc(par);
  EdgeFields f(1, 1);
  for (int jw = 1; jw <= kFreqs; ++jw) {
    const Cx u = spectrum((jw - 0.5) * par.delw, a);
    f.u2.l(1, 1) = f.u2.t(1, 1) = f.u2.b(1, 1) = f.u2.r(1, 1) = u;
    addToSnapshots(jw, f, par, acc);
    recordTraces(jw, f, par, acc);
  }
  ScratchDir here;
  writeTimeDomainFiles(par, acc);
  Synthesised s;
  for (const std::string& line : lines(readBytes("fort.70")))
    s.trace.push_back(std::strtod(line.c_str(), nullptr));
  s.snapshot = std::strtod(readBytes("fort.601").c_str(), nullptr);
  return s;
}

/// The largest difference from the velocity over its peak.
double misfit(const std::vector<double>& trace) {
  double worst = 0.0, peak = 0.0;
  for (int k = 0; k < kSamples; ++k) {
    const double v = velocity(k * kDt);
    worst = std::max(worst, std::fabs(trace[static_cast<std::size_t>(k)] - v));
    peak = std::max(peak, std::fabs(v));
  }
  return worst / peak;
}

TEST(DampingGain, GivesBackTheSignalThatTheRealFrequenciesFoldOver) {
  const Synthesised plain = synthesise(0.0);
  const Synthesised damped = synthesise(2.0 * kPi * kDelf);
  ASSERT_EQ(plain.trace.size(), static_cast<std::size_t>(kSamples));
  ASSERT_EQ(damped.trace.size(), static_cast<std::size_t>(kSamples));
  // At the real frequencies the late part of the signal folds back over the record
  // (0.29 of the peak); damped and given the gain back, the signal is what it is (0.0028,
  // the band's end and the four digits of the files).
  EXPECT_GT(misfit(plain.trace), 0.2);
  EXPECT_LT(misfit(damped.trace), 0.006);
  const double t = (kSnapStep - 1) * kDt, peak = 0.115;
  EXPECT_NEAR(damped.snapshot, velocity(t), 0.006 * peak) << "the gain of the snapshot's time";
  EXPECT_GT(std::fabs(plain.snapshot - velocity(t)), 0.02 * peak);
}

TEST(DampingGain, IsTheExponentialOfTheSampleTimes) {
  std::vector<double> s = {0.0, 1.0, 1.0, -2.0};  // samples 1 .. 3 at 0, 0.5, 1
  removeDamping(s.data(), 3, 0.5, 0.75);
  EXPECT_EQ(s[1], 1.0);
  EXPECT_EQ(s[2], std::exp(0.375));
  EXPECT_EQ(s[3], -2.0 * std::exp(0.75));
  EXPECT_EQ(dampingGain(0.75, 0.5), std::exp(0.375));
}

}  // namespace
}  // namespace sw::test

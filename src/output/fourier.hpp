#pragma once
/// Direct Fourier sums between a real time series and its one-sided spectrum at
/// half-integer multiples of the angular frequency step.

#include "driver/cx.hpp"

namespace sw {

inline constexpr double kPi = 3.141592653589793;

/// spectrum[j] = dt * sum_k f[k] exp(-i (j - 1/2) dw (k - 1) dt), j = 1 .. nw (1-based arrays).
void ffu2(const double* f, int nt, Cx* spectrum, int nw, double dt, double dw);

/// f[k] = (dw / pi) * sum_j Re(spectrum[j] exp(+i (j - 1/2) dw (k - 1) dt)), k = 1 .. nt.
void finvu2(const Cx* spectrum, int nw, double* f, int nt, double dt, double dw);

}  // namespace sw

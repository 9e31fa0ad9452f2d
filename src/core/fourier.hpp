#pragma once
/// Direct Fourier sums between a real time series and its one-sided spectrum at the
/// angular frequencies of the indices 1, 2, ... (half-integer multiples of the step).

#include "core/complex.hpp"

namespace sw {

/// spectrum[j] = dt * sum_k f[k] exp(-i (j - 1/2) dw (k - 1) dt), j = 1 .. nw (1-based arrays).
void forwardFourier(const double* f, int nt, Cx* spectrum, int nw, double dt, double dw);

/// f[k] = (dw / pi) * sum_j Re(spectrum[j] exp(+i (j - 1/2) dw (k - 1) dt)), k = 1 .. nt.
void inverseFourier(const Cx* spectrum, int nw, double* f, int nt, double dt, double dw);

}  // namespace sw

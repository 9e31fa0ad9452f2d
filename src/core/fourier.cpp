#include "core/fourier.hpp"

#include <cmath>

#include "core/constants.hpp"
#include "core/frequency.hpp"

namespace sw {

// Direct sums with one sine/cosine pair per term, in ascending order, so that results
// are reproducible to the last bit.

void forwardFourier(const double* f, int nt, Cx* spectrum, int nw, double dt, double dw) {
  for (int i = 1; i <= nw; ++i) {
    const double w = frequencyOfIndex(i, dw);
    double re = 0.0, im = 0.0;
    for (int j = 1; j <= nt; ++j) {
      const double theta = -((static_cast<double>(j - 1) * w) * dt);
      re = re + f[j] * std::cos(theta);
      im = im + f[j] * std::sin(theta);
    }
    spectrum[i] = Cx{re * dt, im * dt};
  }
}

void inverseFourier(const Cx* spectrum, int nw, double* f, int nt, double dt, double dw) {
  for (int i = 1; i <= nt; ++i) {
    double sum = 0.0;
    for (int j = 1; j <= nw; ++j) {
      const double theta = (frequencyOfIndex(j, dw) * static_cast<double>(i - 1)) * dt;
      const double term = std::cos(theta) * spectrum[j].re - std::sin(theta) * spectrum[j].im;
      sum = sum + term;
    }
    f[i] = (sum * dw) / kPi;
  }
}

}  // namespace sw

#pragma once
/// The properties of every element of a gridded earth model, in the program's units.

#include <cstddef>
#include <vector>

#include "core/check.hpp"

namespace sw {

/// Velocities, density and the optional quality factors, Thomsen parameters and tilt of
/// every element, one value per element in the order of the model file: row 0 is the
/// top element row (iy = ny), column 0 the left column (ix = 1).  Units: velocities in
/// m/ms, density in g/cm3, the tilt in degrees, the reference frequency in kHz.
struct PropertyGrid {
  int nx = 0, ny = 0;
  std::vector<double> vp, vs, rho;  ///< required; vs 0 is a fluid
  std::vector<double> qp, qs;       ///< both or neither: empty for an elastic model
  std::vector<double> epsilon, delta;  ///< both or neither: empty for an isotropic model
  std::vector<double> tilt;  ///< symmetry axis from the vertical towards +x; empty: 0
  double referenceFrequency = 0.0;  ///< the frequency the velocities and Q are given at

  PropertyGrid() = default;
  PropertyGrid(int nx_, int ny_) : nx(nx_), ny(ny_) {}

  std::size_t elements() const {
    return static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny);
  }
  /// Position of element (ix, iy), 1 <= ix <= nx, 1 <= iy <= ny, in the arrays.
  std::size_t index(int ix, int iy) const {
    SW_BOUNDS(ix >= 1 && ix <= nx && iy >= 1 && iy <= ny);
    return static_cast<std::size_t>(ny - iy) * static_cast<std::size_t>(nx) +
           static_cast<std::size_t>(ix - 1);
  }
  bool attenuating() const { return !qp.empty(); }
  bool anisotropic() const { return !epsilon.empty(); }
  bool tilted() const { return !tilt.empty(); }
  /// Bytes of the arrays.
  std::size_t bytes() const {
    std::size_t n = 0;
    for (const std::vector<double>* v : {&vp, &vs, &rho, &qp, &qs, &epsilon, &delta, &tilt})
      n += v->size() * sizeof(double);
    return n;
  }
};

}  // namespace sw

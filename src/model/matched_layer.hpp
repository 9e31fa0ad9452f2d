#pragma once
/// A perfectly matched layer around the grid: where its elements lie and how strongly
/// they stretch the coordinates.

#include <cmath>

#include "core/complex.hpp"

namespace sw {

/// A perfectly matched layer of `elements` elements outside an nx by ny grid on the left,
/// right and bottom sides, and on the top unless that is a free surface.  The solvers
/// work on the extended grid; element (i, j) of the grid is element (i + left(), j +
/// bottom()) of the extended one.
///
/// In the layer the coordinates are stretched, x -> x - (i / w) int d, so that
/// d/dx -> (1 / sx) d/dx with sx = 1 - i d(x) / w, and y alike (the fields vary as
/// exp(i w t), as the absorbing terms i w C take them: an outgoing wave exp(i (w t - k x))
/// decays in the layer as exp(-(k / w) int d)).  The damping profile is
/// d(x) = d0 (x / L)^kOrder at the depth x into a layer of thickness L, with
/// d0 = (kOrder + 1) cmax ln(1 / kReflection) / (2 L), cmax the largest wave speed of the
/// elements next to the layer: a wave crossing it to its outer edge and back at normal
/// incidence returns with the amplitude kReflection (kReflection^cos(angle) at an angle).
/// Each element takes the stretch at its centre.
struct MatchedLayer {
  static constexpr int kDefaultElements = 20;  ///< --pml without a value
  static constexpr int kOrder = 2;              ///< the power of the profile
  static constexpr double kReflection = 1.0e-6;  ///< the theoretical reflection

  int elements = 0;  ///< 0: no layer
  bool top = true;   ///< false with a free surface
  int nx = 0, ny = 0;  ///< the grid's own elements

  bool present() const { return elements > 0; }
  int left() const { return elements; }
  int bottom() const { return elements; }
  int extendedNx() const { return nx + 2 * elements; }
  int extendedNy() const { return ny + elements + (top ? elements : 0); }

  /// How many elements deep into the layer the centre of element k of a line of n
  /// elements (k = 1 - elements .. n + elements, the grid's own 1 .. n) lies: 0 inside
  /// the grid, 0.5 in the layer's first element, elements - 0.5 in its last.
  static double depth(int k, int n) {
    if (k < 1) return 0.5 - static_cast<double>(k);
    if (k > n) return static_cast<double>(k - n) - 0.5;
    return 0.0;
  }

  /// d0 of the profile for the largest wave speed cmax and elements of side h.
  double peakDamping(double cmax, double h) const {
    const double thickness = static_cast<double>(elements) * h;
    return (static_cast<double>(kOrder + 1) * cmax * std::log(1.0 / kReflection)) /
           (2.0 * thickness);
  }

  /// The stretch 1 - i d / omega at `depth` elements into the layer, d0 its peak damping.
  Cx stretch(double depthInElements, double d0, double omega) const {
    if (depthInElements <= 0.0) return Cx{1.0, 0.0};
    const double r = depthInElements / static_cast<double>(elements);
    return Cx{1.0, -((d0 * std::pow(r, static_cast<double>(kOrder))) / omega)};
  }
};

}  // namespace sw

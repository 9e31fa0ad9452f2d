#pragma once
/// Where the element coefficients of a frequency come from: tabled materials painted in
/// regions, or a property grid.

#include <cstddef>

#include "model/medium.hpp"

namespace sw {

/// Fills the density and stiffness of every element, ghost frame included, for one
/// frequency.  The strips and the solvers see only the medium it fills.
class MaterialModel {
 public:
  virtual ~MaterialModel() = default;
  /// The medium of frequency index jw, at angular frequency omega (2 pi times the
  /// frequency of jw), formed on up to `threads` threads where the model gains by it (the
  /// values do not depend on it).
  virtual void fillMedium(int jw, double omega, Medium& med, int threads = 1) const = 0;
  /// Bytes the model holds (per-element properties, tables).
  virtual std::size_t bytes() const = 0;
  /// True when the media it fills carry the complex coordinate stretches of a matched
  /// layer (`Medium::stretched`): their elements' mass takes the complex density
  /// rho sx sy, and their derivative terms complex factors.
  virtual bool stretchesCoordinates() const { return false; }
};

}  // namespace sw

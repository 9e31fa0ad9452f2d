#pragma once
/// The material model of a property grid: the stiffness of every element from its own
/// velocities, density, Thomsen parameters and tilt, attenuating by the constant-Q law.

#include <array>
#include <cstddef>
#include <optional>
#include <vector>

#include "materials/material_model.hpp"
#include "materials/property_grid.hpp"

namespace sw {

/// Per element, the in-plane stiffness at the reference frequency, turned by the tilt of
/// its symmetry axis, held as the part that follows the P law and the part that follows
/// the S law (docs/model_file.md):
///   C11(w) = C11 phiP, C33(w) = C33 phiP, C55(w) = C55 phiS,
///   C13(w) = (C13 + 2 C55) phiP - 2 C55 phiS,
/// phi the factor of the constant-Q law (constantQFactor) of the element's qp or qs (held
/// as its terms, ConstantQTerms: the scale taken into the parts, 2 g and 1 / Q beside), so
/// that an isotropic element keeps lambda + 2 mu = M and mu = G at every frequency, each
/// attenuating by its own Q.  The turn is linear, so the turned parts are formed once.
/// An elastic model holds one part (the stiffness itself); an isotropic element (epsilon
/// and delta 0) takes the isotropic formulas of the tables and is not turned.  The ghost
/// frame takes the nearest element of the grid.
class GridMaterials final : public MaterialModel {
 public:
  /// From a copy of the grid's properties.
  explicit GridMaterials(const PropertyGrid& grid);
  /// Takes the storage of the grid's velocities, density, Thomsen parameters and tilt for
  /// its own arrays, so that the moduli of a large grid need little more memory than they
  /// keep; those datasets of `grid` are left empty.  The quality factors stay in `grid`
  /// (a refusal of the moduli names them), its sizes too.
  explicit GridMaterials(PropertyGrid&& grid);
  /// The rows of the medium on up to `threads` threads (the values do not depend on it).
  void fillMedium(int jw, double omega, Medium& med, int threads = 1) const override;
  std::size_t bytes() const override;
  /// The first element, in the order of the model file, whose normal stiffness of an x
  /// or a y edge (the real parts at omega of p11, p15, p55 or of p55, p35, p33) is not
  /// positive semidefinite, so that the interface terms have no real square root of it;
  /// empty when every element has both.  An elastic grid that passed the model file's
  /// checks has them at every frequency; an attenuating one may lose them where a strong
  /// anisotropy meets an S modulus that decays much faster than the P modulus.
  std::optional<std::size_t> firstWithoutNormalRoot(double omega) const;
  /// Bytes held per element: density and the stiffness parts of the grid's kind.
  static std::size_t bytesPerElement(bool attenuating, bool tilted);
  /// Bytes per element at the most while the moduli are formed from a grid given up to
  /// them (from the reading of the model file on): those held, and the quality factors
  /// the grid keeps.  The datasets as read take no more.
  static std::size_t peakBytesPerElement(bool attenuating, bool tilted);

 private:
  /// The coefficients p11, p13, p15, p33, p35, p55 of one part; p15 and p35 are held
  /// only when the grid is tilted.
  using Part = std::array<std::vector<double>, 6>;

  int nx_, ny_;
  double referenceOmega_;  ///< 2 pi times the reference frequency
  bool attenuating_, tilted_;
  std::vector<double> rho_;
  Part p_;  ///< the P part, or the whole stiffness of an elastic grid
  Part s_;  ///< the S part (attenuating grids)
  /// Per element of an attenuating grid, the terms of the constant-Q law of qp and qs
  /// that the frequency does not change (ConstantQTerms; their scales are factors of the
  /// parts).
  std::vector<double> twoGp_, twoGs_, inverseQp_, inverseQs_;
};

}  // namespace sw

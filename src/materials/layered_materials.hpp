#pragma once
/// The medium of a grid extended by a perfectly matched layer.

#include "materials/material_model.hpp"
#include "model/matched_layer.hpp"

namespace sw {

/// The material model of the extended grid of a layer around the grid of `inner`: every
/// element of the layer takes the properties of the nearest element of the grid (the
/// edge element's, extended outward), and the medium carries the layer's stretches.
class LayeredMaterials final : public MaterialModel {
 public:
  /// `inner` fills media of layer.nx by layer.ny elements of side h.
  LayeredMaterials(const MaterialModel& inner, const MatchedLayer& layer, double h);

  /// The medium of the extended grid (med of layer.extendedNx() by extendedNy()).
  void fillMedium(int jw, double omega, Medium& med, int threads = 1) const override;
  /// The inner model's and the medium of the grid it fills.
  std::size_t bytes() const override;
  bool stretchesCoordinates() const override { return true; }

  /// The largest wave speed of the grid's elements next to the layer, of `grid` (the
  /// medium of the grid itself): the root of the largest of |p11|, |p33|, |p55| over rho.
  double edgeSpeed(const Medium& grid) const;

 private:
  const MaterialModel& inner_;
  MatchedLayer layer_;
  double h_;
  mutable Medium grid_;  ///< the grid's own medium, filled by the inner model
};

}  // namespace sw

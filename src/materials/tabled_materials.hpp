#pragma once
/// The tabled material model: moduli per material and frequency index, painted on the
/// elements by their material number.

#include "materials/material_model.hpp"
#include "materials/material_tables.hpp"
#include "materials/stiffness.hpp"

namespace sw {

/// Density and stiffness of every element (ghost frame included) for frequency index jw.
void fillMedium(int jw, const Materials& mat, Medium& med);

/// The tables and the material map read from the deck, as a material model.
class TabledMaterials final : public MaterialModel {
 public:
  explicit TabledMaterials(const Materials& mat) : mat_(mat) {}
  /// On one thread: the coefficients of a few materials are copied.
  void fillMedium(int jw, double omega, Medium& med, int threads = 1) const override;
  std::size_t bytes() const override;
  const Materials& tables() const { return mat_; }

 private:
  const Materials& mat_;
};

}  // namespace sw

#pragma once
/// The material model: moduli per material and frequency index, densities and the
/// material number of every element.

#include <array>
#include <cstddef>
#include <vector>

#include "core/complex.hpp"
#include "core/grid.hpp"
#include "model/run_params.hpp"

namespace sw {

/// The one material treated as transversely isotropic (its tables rotated so that the
/// symmetry axis lies along x).  The anisotropic tables hold materials 3 .. nmat; every
/// other material, those above 3 included, is treated as isotropic.
inline constexpr int kAnisotropicMaterial = 3;

/// Complex table over material number (1 .. 20) and frequency index (1 .. 600, or
/// more when the limits are lifted).
class MaterialTable {
 public:
  explicit MaterialTable(int freqs = kMaxFreqs)
      : freqs_(freqs), v_(static_cast<std::size_t>(kMaxMaterials) * freqs) {}
  /// Frequency indices held.
  int freqs() const { return freqs_; }
  Cx& operator()(int m, int j) {
    SW_BOUNDS(m >= 1 && m <= kMaxMaterials && j >= 1 && j <= freqs_);
    return v_[static_cast<std::size_t>(m - 1) + kMaxMaterials * static_cast<std::size_t>(j - 1)];
  }
  const Cx& operator()(int m, int j) const {
    SW_BOUNDS(m >= 1 && m <= kMaxMaterials && j >= 1 && j <= freqs_);
    return v_[static_cast<std::size_t>(m - 1) + kMaxMaterials * static_cast<std::size_t>(j - 1)];
  }

 private:
  int freqs_;
  std::vector<Cx> v_;
};

/// The material model: tables per material and frequency index, densities, and the
/// material number of every element (ghost frame included).
struct Materials {
  int nmat = 0;
  std::array<double, kMaxMaterials + 1> rhob{};  ///< density per material, index 1 .. 20
  MaterialTable p_modulus, s_modulus;            ///< isotropic P-wave and shear moduli
  MaterialTable p11w, p13w, p33w, p55w, p66w;    ///< transversely isotropic, vertical axis
  Grid<int> matnum;                              ///< sized by the input to nx, ny

  /// Replaces every table by an empty one of frequency indices 1 .. freqs.
  void sizeTables(int freqs) {
    for (MaterialTable* t : {&p_modulus, &s_modulus, &p11w, &p13w, &p33w, &p55w, &p66w})
      *t = MaterialTable(freqs);
  }
};

}  // namespace sw

#pragma once
/// Run parameters, material tables and source spectrum delivered by the input routine.

#include <array>
#include <cstddef>
#include <vector>

#include "driver/cx.hpp"
#include "driver/grid.hpp"

namespace sw {

/// Capacities of the system; each is guarded by a check of the input routine.
inline constexpr int kMaxGrid = 600;      ///< elements along x and along y
inline constexpr int kMaxFreqSnaps = 3;   ///< frequency-domain snapshots
inline constexpr int kMaxTimeSnaps = 25;  ///< time-domain snapshots
inline constexpr int kMaxMaterials = 20;
inline constexpr int kMaxFreqs = 600;     ///< frequency indices
inline constexpr int kMaxSamples = 2500;  ///< time samples
inline constexpr int kMaxReceivers = 200;

/// Scalars and small lists that the input routine hands to the driver.
struct RunParams {
  int nx = 0, ny = 0;
  double h = 0.0;               ///< side of the square element
  int maxiter = 0, maxlow = 0;  ///< iteration limits (high and low frequency range)
  double reduc = 0.0;           ///< relative change required for convergence
  double dt = 0.0;              ///< time step
  int nt = 0;                   ///< number of time samples
  double delf = 0.0, delw = 0.0;
  int jw1 = 1, jw2 = 0, jwlow = 0;
  int nsnapt = 0;
  Vec1<int> itsnap{kMaxTimeSnaps};   ///< time-step number of each snapshot, 1 .. nsnapt
  int kdel = 0, jsou = 0, ksou = 0;  ///< source pattern and source element
  int nrec = 0;
  Vec1<int> irx{kMaxReceivers}, iry{kMaxReceivers};  ///< receiver elements, 1 .. nrec
};

/// Complex table over material number (1 .. 20) and frequency index (1 .. 600).
class MaterialTable {
 public:
  MaterialTable() : v_(static_cast<std::size_t>(kMaxMaterials) * kMaxFreqs) {}
  Cx& operator()(int m, int j) {
    SW_ASSERT(m >= 1 && m <= kMaxMaterials && j >= 1 && j <= kMaxFreqs);
    return v_[static_cast<std::size_t>(m - 1) + kMaxMaterials * static_cast<std::size_t>(j - 1)];
  }
  const Cx& operator()(int m, int j) const {
    SW_ASSERT(m >= 1 && m <= kMaxMaterials && j >= 1 && j <= kMaxFreqs);
    return v_[static_cast<std::size_t>(m - 1) + kMaxMaterials * static_cast<std::size_t>(j - 1)];
  }

 private:
  std::vector<Cx> v_;
};

/// The material model: tables per material and frequency index, densities, and the
/// material number of every element (ghost frame included).
struct Materials {
  int nmat = 0;
  std::array<double, kMaxMaterials + 1> rhob{};  ///< density per material, index 1 .. 20
  MaterialTable p_modulus, s_modulus;            ///< isotropic P-wave and shear moduli
  MaterialTable p11w, p13w, p33w, p55w, p66w;    ///< transversely isotropic, vertical axis
  Grid<int> matnum;                              ///< sized by the input routine to nx, ny
};

}  // namespace sw

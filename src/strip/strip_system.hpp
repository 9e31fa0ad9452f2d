#pragma once
/// What the strips of a frequency are assembled and solved from.

#include "materials/material_model.hpp"
#include "model/boundary.hpp"
#include "model/medium.hpp"
#include "strip/interface_parameters.hpp"

namespace sw {

/// The grid, the mesh size and the boundary indicators, fixed for a run, and the state
/// of the frequency being solved: its angular frequency, the medium, the interface
/// parameters and the boundary roots.
struct StripSystem {
  int nx = 0, ny = 0;
  double h = 0.0;  ///< side of the square element
  BoundaryIndicators del;
  double omega = 0.0;
  /// a of the complex frequency omega - i a of the mass and absorbing terms (0: omega
  /// itself); the medium and the interface parameters are those of omega
  double damping = 0.0;
  Medium med;
  InterfaceParameters beta;
  BoundaryRoots roots;

  StripSystem() = default;
  /// With `everyEdge` false the interface parameters are not stored here (the lane
  /// kernels keep their own).
  StripSystem(int nx, int ny, double h, bool everyEdge = true);

  /// Sets omega, and the medium the material model gives for frequency index jw, with its
  /// interface parameters and boundary roots (the medium and the parameters on up to
  /// `threads` threads).
  void setFrequency(int jw, double omega, const MaterialModel& model, int threads = 1);
  /// Sets omega and the medium of frequency index jw only (on up to `threads` threads).
  void setMedium(int jw, double omega, const MaterialModel& model, int threads = 1);
};

}  // namespace sw

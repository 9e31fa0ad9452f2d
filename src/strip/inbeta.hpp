#pragma once
/// Interface parameters of the interior edges and square roots of the boundary
/// elements' normal stiffness.

#include "driver/storage.hpp"

namespace sw {

/// Symmetric square root X of the real symmetric positive definite n x n matrix A
/// (n <= 2 here), both row-major n x n, by the damped fixed-point iteration.
void wurzel(int n, const double* a, double* x);

/// Fills the beta arrays of every interior edge and the boundary root vectors for the
/// angular frequency omega.
void inbeta(int nx, int ny, double omega, const Medium& med, Betas& beta, BoundaryRoots& roots);

}  // namespace sw

#pragma once
/// Interface parameters of the interior edges and square roots of the boundary
/// elements' normal stiffness.

#include "driver/storage.hpp"

namespace sw {

/// Symmetric square root X of the real symmetric positive definite n x n matrix A
/// (n <= 2 here), both row-major n x n, by the damped fixed-point iteration.
void wurzel(int n, const double* a, double* x);

/// As wurzel, and returns the number of passes made (1 .. 1000).
int wurzelPasses(int n, const double* a, double* x);

/// Square root of a real symmetric 2x2 matrix (r11 r12; r12 r22).
struct Root2 {
  double r11 = 0.0, r12 = 0.0, r22 = 0.0;
};

/// Memo of wurzel results for 2x2 matrices, keyed on the exact bits of (a11, a12, a22).
/// A grid of a few materials has a few distinct normal stiffness matrices, so almost
/// every lookup is a hit; a hit returns exactly what a fresh wurzel call would.
class RootCache {
 public:
  /// R of the matrix (a11 a12; a12 a22).
  Root2 root(double a11, double a12, double a22);
  /// Number of wurzel calls made so far.
  long misses() const { return misses_; }

 private:
  static constexpr int kSlots = 256;
  static constexpr int kProbes = 8;
  struct Slot {
    bool used = false;
    unsigned long long k11 = 0, k12 = 0, k22 = 0;
    Root2 r;
  };
  Slot slots_[kSlots];
  long misses_ = 0;
};

/// Fills the beta arrays of every interior edge and the boundary root vectors for the
/// angular frequency omega.
void inbeta(int nx, int ny, double omega, const Medium& med, Betas& beta, BoundaryRoots& roots);

}  // namespace sw

#pragma once
/// Square root of a small real symmetric positive definite matrix.

namespace sw {

/// Largest order matrixSqrt handles.
inline constexpr int kMaxSqrtOrder = 16;

/// Symmetric square root X of the real symmetric positive definite n x n matrix A
/// (1 <= n <= kMaxSqrtOrder), both row-major n x n, by the damped fixed-point iteration
/// X <- X + alpha (A - X X), stopped when no upper entry moves by 1e-10 or after 1000
/// passes.
void matrixSqrt(int n, const double* a, double* x);

/// Principal square root of the real symmetric positive semidefinite matrix
/// (a11 a12; a12 a22) in closed form, (A + s I) / t with s = sqrt(det A) and
/// t = sqrt(trace A + 2 s), into (r11 r12; r12 r22).  A determinant below zero by rounding
/// counts as zero; a zero matrix has the root zero.  It agrees with matrixSqrt to the
/// latter's tolerance, at a fraction of its cost.
void symmetricRoot2(double a11, double a12, double a22, double& r11, double& r12, double& r22);

}  // namespace sw

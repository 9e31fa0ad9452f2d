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

}  // namespace sw

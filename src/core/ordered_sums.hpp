#pragma once
/// Vector kernels of the accelerated iteration on real or complex vectors: inner
/// products summed in a fixed order whatever the thread count, and combinations.

#include <cstddef>
#include <vector>

#include "core/complex.hpp"

namespace sw {

/// Entries per block of a reduction.  Each block is summed serially and the block sums
/// are added in ascending order, so a result depends on the vector length only.
inline constexpr std::size_t kReductionBlock = 4096;

inline double conjTimes(double a, double b) { return a * b; }
/// conj(a) b, written out.
inline Cx conjTimes(Cx a, Cx b) { return {a.re * b.re + a.im * b.im, a.re * b.im - a.im * b.re}; }
inline double conjOf(double a) { return a; }
inline Cx conjOf(Cx a) { return {a.re, -a.im}; }
inline double realPart(double a) { return a; }
inline double realPart(Cx a) { return a.re; }
template <class T>
T fromReal(double r);
template <>
inline double fromReal<double>(double r) {
  return r;
}
template <>
inline Cx fromReal<Cx>(double r) {
  return {r, 0.0};
}

/// out[c] = sum over i of conj(cols[c][i]) v[i] for c = 0 .. ncols-1, one pass over v.
/// `scratch` holds the block sums between calls.
template <class T>
void innerProducts(const T* const* cols, int ncols, const T* v, std::size_t n, T* out,
                   std::vector<T>& scratch, int threads);

/// sum over i of |v[i]|^2 in the fixed block order.
template <class T>
double squaredNorm(const T* v, std::size_t n, std::vector<T>& scratch, int threads);

}  // namespace sw

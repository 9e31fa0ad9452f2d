#pragma once
/// Several strips side by side: a vector of doubles with one lane per strip, and complex
/// values split into a vector of real parts and a vector of imaginary parts.
///
/// Every operation here is the lane-wise IEEE operation of the scalar arithmetic in
/// cx.hpp, in the same order, so each lane computes bit for bit what the scalar code
/// computes for its own strip.  Where the scalar code branches (the scaled division),
/// the lanes select per lane between values each formed exactly as its branch forms it.
///
/// The width is fixed when the program is built: the widest vector the build enables
/// (-mavx512f: 8 lanes, -mavx: 4, otherwise 2).

#include <bit>
#include <cstdint>
#include <cstring>

#include "core/complex.hpp"

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace sw {

#if defined(__AVX512F__)
#define SW_LANES_8 1
inline constexpr int kLanes = 8;
#elif defined(__AVX__)
#define SW_LANES_4 1
inline constexpr int kLanes = 4;
#else
inline constexpr int kLanes = 2;
#endif

/// Instruction set the lanes were built for, for messages and benchmarks.
inline constexpr const char* kLaneIsa = kLanes == 8 ? "avx512" : kLanes == 4 ? "avx2" : "sse2";

/// kLanes doubles, one per strip.
typedef double Lane __attribute__((vector_size(kLanes * sizeof(double))));
/// Lane-wise comparison result: all bits set where true.
typedef std::int64_t LaneMask __attribute__((vector_size(kLanes * sizeof(double))));

inline Lane broadcast(double x) {
  Lane v;
  for (int l = 0; l < kLanes; ++l) v[l] = x;
  return v;
}

inline Lane select(LaneMask m, Lane a, Lane b) { return m ? a : b; }

inline Lane fabs(Lane x) {
  return std::bit_cast<Lane>(std::bit_cast<LaneMask>(x) & 0x7fffffffffffffffLL);
}

/// Correctly rounded square root of every lane.
inline Lane sqrt(Lane x) {
#if defined(__AVX512F__)
  return std::bit_cast<Lane>(_mm512_sqrt_pd(std::bit_cast<__m512d>(x)));
#elif defined(__AVX__)
  return std::bit_cast<Lane>(_mm256_sqrt_pd(std::bit_cast<__m256d>(x)));
#else
  Lane r;
  for (int l = 0; l < kLanes; ++l) r[l] = __builtin_sqrt(x[l]);
  return r;
#endif
}

/// Stores v at p (aligned to the vector) past the caches, for data written once and
/// read much later; sfence() orders such stores before what follows.
inline void streamStore(Lane* p, Lane v) {
#if defined(__AVX512F__)
  _mm512_stream_pd(reinterpret_cast<double*>(p), std::bit_cast<__m512d>(v));
#elif defined(__AVX__)
  _mm256_stream_pd(reinterpret_cast<double*>(p), std::bit_cast<__m256d>(v));
#elif defined(__SSE2__)
  _mm_stream_pd(reinterpret_cast<double*>(p), std::bit_cast<__m128d>(v));
#else
  *p = v;
#endif
}
inline void sfence() {
#if defined(__SSE2__)
  _mm_sfence();
#endif
}

/// True in every lane where x is neither infinite nor NaN.
inline LaneMask isfinite(Lane x) { return fabs(x) <= broadcast(1.7976931348623157e308); }

/// True when any lane of m is true.
inline bool any(LaneMask m) {
#if defined(__AVX512F__)
  return _mm512_test_epi64_mask(std::bit_cast<__m512i>(m), std::bit_cast<__m512i>(m)) != 0;
#elif defined(__AVX__)
  return _mm256_movemask_pd(std::bit_cast<__m256d>(m)) != 0;
#elif defined(__SSE2__)
  return _mm_movemask_pd(std::bit_cast<__m128d>(m)) != 0;
#else
  for (int l = 0; l < kLanes; ++l)
    if (m[l] != 0) return true;
  return false;
#endif
}

/// True when every lane of m is true.
inline bool all(LaneMask m) { return !any(~m); }

// Lanes of a and b chosen by index (0 .. kLanes-1 from a, kLanes .. from b); the two
// compilers spell the builtin differently.
#if defined(__clang__)
#define SW_SHUFFLE(a, b, ...) __builtin_shufflevector(a, b, __VA_ARGS__)
#else
#define SW_SHUFFLE(a, b, ...) __builtin_shuffle(a, b, LaneMask{__VA_ARGS__})
#endif

/// Lanes moved up by one: lane 0 takes the last lane of `before`, lane l lane l-1 of x.
inline Lane shiftUp(Lane before, Lane x) {
#if SW_LANES_8
  return SW_SHUFFLE(before, x, 7, 8, 9, 10, 11, 12, 13, 14);
#elif SW_LANES_4
  return SW_SHUFFLE(before, x, 3, 4, 5, 6);
#else
  return SW_SHUFFLE(before, x, 1, 2);
#endif
}

/// Lanes moved down by one: lane l takes lane l+1 of x, the last lane lane 0 of `after`.
inline Lane shiftDown(Lane x, Lane after) {
#if SW_LANES_8
  return SW_SHUFFLE(x, after, 1, 2, 3, 4, 5, 6, 7, 8);
#elif SW_LANES_4
  return SW_SHUFFLE(x, after, 1, 2, 3, 4);
#else
  return SW_SHUFFLE(x, after, 1, 2);
#endif
}

/// One complex value per lane.
struct LaneCx {
  Lane re, im;
};

inline LaneCx broadcast(Cx a) { return {broadcast(a.re), broadcast(a.im)}; }
inline Cx lane(const LaneCx& a, int l) { return {a.re[l], a.im[l]}; }
inline void setLane(LaneCx& a, int l, Cx v) {
  a.re[l] = v.re;
  a.im[l] = v.im;
}
inline LaneCx select(LaneMask m, const LaneCx& a, const LaneCx& b) {
  return {m ? a.re : b.re, m ? a.im : b.im};
}
inline LaneCx shiftUp(const LaneCx& before, const LaneCx& x) {
  return {shiftUp(before.re, x.re), shiftUp(before.im, x.im)};
}
inline LaneCx shiftDown(const LaneCx& x, const LaneCx& after) {
  return {shiftDown(x.re, after.re), shiftDown(x.im, after.im)};
}
inline LaneMask isfinite(const LaneCx& a) { return isfinite(a.re) & isfinite(a.im); }

inline LaneCx operator+(const LaneCx& a, const LaneCx& b) { return {a.re + b.re, a.im + b.im}; }
inline LaneCx operator-(const LaneCx& a, const LaneCx& b) { return {a.re - b.re, a.im - b.im}; }
inline LaneCx& operator+=(LaneCx& a, const LaneCx& b) {
  a.re = a.re + b.re;
  a.im = a.im + b.im;
  return a;
}
inline LaneCx& operator-=(LaneCx& a, const LaneCx& b) {
  a.re = a.re - b.re;
  a.im = a.im - b.im;
  return a;
}

/// (p + iq)(c + id) = (pc - qd) + i(pd + qc), as the scalar product.
inline LaneCx operator*(const LaneCx& a, const LaneCx& b) {
  return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
}
inline LaneCx operator*(Lane r, const LaneCx& a) { return {r * a.re, r * a.im}; }
inline LaneCx operator*(double r, const LaneCx& a) { return broadcast(r) * a; }

/// The scaled division of cx.hpp in every lane.  The branch of a lane is the scalar
/// one (|d| > |c|, ties to the second); the ratio, denominator and numerators of each
/// lane are formed exactly as in that branch: with big = |d| > |c|,
///   big:  r = c/d, den = d + c r, ((p r + q) / den, (q r - p) / den)
///   else: r = d/c, den = c + d r, ((p + q r) / den, (q - p r) / den).
inline LaneCx operator/(const LaneCx& a, const LaneCx& b) {
  const Lane p = a.re, q = a.im, c = b.re, d = b.im;
  const LaneMask big = fabs(d) > fabs(c);
  const Lane num = big ? c : d;
  const Lane dnm = big ? d : c;
  const Lane r = num / dnm;
  const Lane den = dnm + num * r;
  const Lane re = big ? p * r + q : p + q * r;
  const Lane im = big ? q * r - p : q - p * r;
  return {re / den, im / den};
}

/// Lanes of `count` consecutive LaneCx values, stored as re then im per value.
inline void clear(LaneCx* v, int count) {
  std::memset(static_cast<void*>(v), 0, sizeof(LaneCx) * count);
}

}  // namespace sw

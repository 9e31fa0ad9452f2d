#pragma once
/// The C library's hypot on every lane, bit for bit.
///
/// The moduli of the change measure must be the C library's hypot.  The library on
/// this system (glibc 2.35 and later, x86-64) computes, for finite x, y with
/// ax = max(|x|, |y|), ay = min(|x|, |y|), ax <= 2^511 and ay >= 2^-459:
///   ax + ay                                  when ay <= ax 2^-54, otherwise
///   h = sqrt(ax ax + ay ay), corrected by
///     h <= 2 ay: d = h - ay, t1 = ax (2d - ax),       t2 = (d - 2 (ax - ay)) d
///     else:      d = h - ax, t1 = 2d (ax - 2 ay),     t2 = (4d - ay) ay + d d
///   h - (t1 + t2) / (2h);
/// and ax + ay when ay < 2^-459 and ax >= ay 2^54 (zeros among them).  Lanes in this
/// common range are computed here with exactly these operations (both corrections
/// formed, one selected); every other lane (infinities, NaN, huge or tiny operands that
/// need scaling) calls std::hypot.  tools/hypot_check compares the two on 10^9 pairs.

#include <cmath>

#include "core/lanes.hpp"

namespace sw {

inline Lane hypot(Lane x, Lane y) {
  const Lane fx = fabs(x), fy = fabs(y);
  const LaneMask swap = fy > fx;
  const Lane ax = swap ? fy : fx;
  const Lane ay = swap ? fx : fy;

  const LaneMask finite = isfinite(x) & isfinite(y);
  const LaneMask notLarge = ax <= broadcast(0x1p511);
  const LaneMask tiny = ay < broadcast(0x1p-459);
  const LaneMask common = finite & notLarge & ~tiny;
  const LaneMask tinySum = finite & notLarge & tiny & (ax >= ay * broadcast(0x1p54));

  const Lane h = sqrt(ax * ax + ay * ay);
  const Lane dA = h - ay;
  const Lane tA = (dA + dA - ax) * ax + (dA - ((ax - ay) + (ax - ay))) * dA;
  const Lane dB = h - ax;
  const Lane tB = (dB + dB) * (ax - (ay + ay)) + ((broadcast(4.0) * dB - ay) * ay + dB * dB);
  const Lane t = (h <= ay + ay) ? tA : tB;
  const Lane corrected = h - t / (h + h);

  const LaneMask sum = tinySum | (common & (ay <= ax * broadcast(0x1p-54)));
  Lane r = sum ? ax + ay : corrected;
  const LaneMask library = ~(common | tinySum);
  if (any(library))
    for (int l = 0; l < kLanes; ++l)
      if (library[l]) r[l] = std::hypot(x[l], y[l]);
  return r;
}

/// Modulus of every lane, as abs(Cx).
inline Lane abs(const LaneCx& a) { return hypot(a.re, a.im); }

}  // namespace sw

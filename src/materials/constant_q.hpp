#pragma once
/// The constant-Q law of the attenuating moduli: a modulus given at a reference frequency
/// grows with the frequency as a power of it and keeps one loss angle at every frequency.

#include "core/complex.hpp"

namespace sw {

/// The exponent g = atan(1 / Q) / pi of a quality factor Q > 0: the loss angle is pi g
/// and the modulus grows as (w / w_ref)^(2 g).
double lossExponent(double q);

/// M(w) / M_ref of the constant-Q law with exponent g at ratio = w / w_ref:
///   cos^2(pi g / 2) ratio^(2 g) exp(i pi g),
/// with time dependence exp(+i w t) (an attenuating modulus has a positive imaginary
/// part).  The factor cos^2(pi g / 2) makes the phase velocity at w_ref,
/// 1 / Re(1 / sqrt(M / rho)), the elastic sqrt(M_ref / rho).  g = 0 gives exactly 1.
Cx constantQFactor(double g, double ratio);

}  // namespace sw

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

/// What of the law depends on the quality factor alone.  With tan(pi g) = 1 / Q,
///   constantQFactor(g, ratio) = scale ratio^(2 g) (1 + i / Q),  scale = cos^2(pi g / 2) cos(pi g),
/// so that at each frequency the law of a quality factor takes one exponential
/// (constantQGrowth) and a product; equal to constantQFactor to rounding.
struct ConstantQTerms {
  double twoG;     ///< 2 g, the exponent of the growth
  double inverseQ; ///< 1 / Q = tan(pi g), the imaginary part over the real part
  double scale;    ///< cos^2(pi g / 2) cos(pi g), the real part at the reference frequency
};
ConstantQTerms constantQTerms(double q);

/// ratio^(2 g) as exp(2 g log(ratio)), `logRatio` = log(ratio) formed once per frequency.
double constantQGrowth(double twoG, double logRatio);

}  // namespace sw

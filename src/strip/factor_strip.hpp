#pragma once
/// Banded LU factorisation of one strip (no pivoting, unit upper factor).

#include "strip/band_matrix.hpp"
#include "strip/strip_factors.hpp"

namespace sw {

/// Factors the band matrix `a` of strip s into column s of `f`, no pivoting.
/// Reads only the entries inside the element envelope; writes only column s.
void factorStrip(int s, const BandMatrix& a, StripFactors& f);

}  // namespace sw

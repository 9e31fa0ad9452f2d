#pragma once
/// Assembly of one strip's band matrix and its factorisation.

#include "driver/storage.hpp"
#include "strip/band.hpp"

namespace sw {

/// Assembles the matrix of strip s (element, mass, interface and absorbing terms) into
/// work.a and factors it into column s of `f`.
void coeflu(int s, int nx, double omega, const Medium& med, const Betas& beta, double h,
            const Indicators& del, const BoundaryRoots& roots, const Dofmap& dofmap,
            StripWork& work, StripFactors& f);

}  // namespace sw

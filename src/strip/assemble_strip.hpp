#pragma once
/// Assembly of one strip's band matrix and its factorisation.

#include "strip/strip_factors.hpp"
#include "strip/strip_system.hpp"
#include "strip/strip_work.hpp"

namespace sw {

/// Assembles the matrix of strip s (element, mass, interface and absorbing terms) into
/// work.a and factors it into column s of `f`.
void assembleStrip(int s, const StripSystem& sys, StripWork& work, StripFactors& f);

}  // namespace sw

#pragma once
/// Forward and back substitution with the stored factors of one strip.

#include "core/complex.hpp"
#include "strip/strip_factors.hpp"

namespace sw {

/// Solves A x = rhs for strip s (n elements) with the factors in `f`:
/// reads rhs[1 .. N], writes answer[1 .. N], uses y[1 .. N] as work.
void solveStrip(int n, int s, const Cx* rhs, const StripFactors& f, Cx* answer, Cx* y);

}  // namespace sw

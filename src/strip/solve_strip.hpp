#pragma once
/// Forward and back substitution with the stored factors of one strip.

#include "strip/strip_factors.hpp"
#include "strip/strip_work.hpp"

namespace sw {

/// Solves A x = rhs for strip s with its factors in `f`: reads work.rhs, writes
/// work.answer and uses work.y (entries 1 .. N each).
void solveStrip(int s, const StripFactors& f, StripWork& work);

}  // namespace sw

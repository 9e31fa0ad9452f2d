#pragma once
/// Relaxation of an iterate towards the previous one.

#include "coupling/edge_fields.hpp"

namespace sw {

/// Relaxation weights: 0.7 of the new iterate, 1 - 0.7 (as a double) of the previous one.
inline constexpr double kRelaxNew = 0.7;
inline constexpr double kRelaxOld = 0.30000000000000004;

/// Copies the sixteen arrays of `cur` into `prev`, ghost frame included.
void savePreviousIterate(const EdgeFields& cur, EdgeFields& prev, int threads = 1);

/// X = 0.7 X + 0.30000000000000004 Xp over the elements of all sixteen arrays, real and
/// imaginary parts separately; the ghost frame is not relaxed.
void relax(EdgeFields& cur, const EdgeFields& prev, int threads = 1);

}  // namespace sw

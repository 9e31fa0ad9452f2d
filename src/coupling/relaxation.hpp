#pragma once
/// Relaxation of an iterate towards the previous one.

#include "coupling/edge_fields.hpp"
#include "coupling/edge_terms.hpp"

namespace sw {

/// Copies the sixteen arrays of `cur` into `prev`, ghost frame included.
void savePreviousIterate(const EdgeFields& cur, EdgeFields& prev, int threads = 1);

/// X = 0.7 X + 0.30000000000000004 Xp over the elements of all sixteen arrays, real and
/// imaginary parts separately; the ghost frame is not relaxed.
void relax(EdgeFields& cur, const EdgeFields& prev, int threads = 1);

}  // namespace sw

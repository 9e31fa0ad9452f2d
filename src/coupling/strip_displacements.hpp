#pragma once
/// Solve of one strip with the neighbours' transmission data and the source.

#include "coupling/edge_fields.hpp"
#include "model/point_source.hpp"
#include "strip/strip_factors.hpp"
#include "strip/strip_system.hpp"
#include "strip/strip_work.hpp"

namespace sw {

/// Forms the right-hand side of strip s, solves it with the strip's factors in `f` and
/// writes the displacements of the strip's edges into `cur`.
void solveStripDisplacements(int s, const StripSystem& sys, const StripFactors& f,
                             const PointSource& src, EdgeFields& cur, StripWork& work);

/// Right-hand side of strip s alone: clears rhs[1 .. 6 nx + 2] and accumulates every
/// element's transmission data and source terms into it.
void stripRightHandSide(int s, const StripSystem& sys, const PointSource& src,
                        const EdgeFields& cur, Cx* rhs);

/// Adds the source pattern `kdel` with spectrum value `sour` to the local entries r[1 .. 8]
/// of the source element.
void addSource(int kdel, Cx sour, double h, Cx* r);

}  // namespace sw

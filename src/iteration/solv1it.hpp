#pragma once
/// Solve of one strip with the neighbours' transmission data and the source.

#include "driver/storage.hpp"
#include "iteration/source.hpp"
#include "strip/band.hpp"

namespace sw {

/// Forms the right-hand side of strip s at frequency index jw, solves it with the
/// stored factors and writes the displacements of the strip's edges into `cur`.
void solv1it(int s, int nx, int jw, EdgeFields& cur, const Betas& beta, double h, const Source& src,
             const Indicators& del, const Dofmap& dofmap, const StripFactors& f, StripWork& work);

/// Right-hand side of strip s alone: clears rhs[1 .. 6 nx + 2] and accumulates every
/// element's transmission data and source terms into it.
void stripRhs(int s, int nx, int jw, const EdgeFields& cur, const Betas& beta, double h,
              const Source& src, const Indicators& del, const Dofmap& dofmap, Cx* rhs);

/// Adds the source pattern `kdel` with spectrum value `sour` to the local entries r[1 .. 8]
/// of the source element.
void addSource(int kdel, Cx sour, double h, Cx* r);

}  // namespace sw

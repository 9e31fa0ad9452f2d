#pragma once
/// Assembly of one strip's band matrix and its factorisation.

#include <vector>

#include "strip/band_matrix.hpp"
#include "strip/strip_factors.hpp"
#include "strip/strip_system.hpp"
#include "strip/strip_work.hpp"

namespace sw {

/// The interface parameters the assembly of a strip reads: those of the t and b edges of
/// its elements (entry i - 1 for element i) and of its outer l and r edges.
struct StripEdgeParameters {
  std::vector<EdgeParameters> t, b;
  EdgeParameters l, r;
};

/// Those of strip s, from sys.beta.
void stripEdgeParameters(int s, const StripSystem& sys, StripEdgeParameters& p);

/// Assembles the matrix of strip s (element, mass, interface and absorbing terms) into
/// `a`, with the interface parameters `beta` of the strip.  Only the entries of the
/// element blocks are written (each as if added to a cleared matrix); those outside
/// them, which nothing reads, keep what `a` held (zero in a new matrix).
void assembleStripMatrix(int s, const StripSystem& sys, const StripEdgeParameters& beta,
                         BandMatrix& a);

/// Assembles the matrix of strip s (element, mass, interface and absorbing terms) into
/// work.a and factors it into column s of `f`.
void assembleStrip(int s, const StripSystem& sys, StripWork& work, StripFactors& f);

}  // namespace sw

#pragma once
/// Update of the interface multipliers on the edges of one strip.

#include "coupling/edge_fields.hpp"
#include "strip/interface_parameters.hpp"

namespace sw {

/// Overwrites the multipliers of strip s in place, ascending i, eight entries per element.
void updateMultipliers(int s, const InterfaceParameters& beta, EdgeFields& cur);

}  // namespace sw

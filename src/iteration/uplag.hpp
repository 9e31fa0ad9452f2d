#pragma once
/// Update of the interface multipliers on the edges of one strip.

#include "driver/storage.hpp"

namespace sw {

/// Overwrites the multipliers of strip s in place, ascending i, eight entries per element.
void uplag(int s, int nx, const Betas& beta, EdgeFields& cur);

}  // namespace sw

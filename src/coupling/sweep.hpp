#pragma once
/// One pass over the strips: the odd strips, then the even ones.

#include <vector>

#include "coupling/edge_fields.hpp"
#include "model/point_source.hpp"
#include "strip/strip_factors.hpp"
#include "strip/strip_system.hpp"
#include "strip/strip_work.hpp"

namespace sw {

/// Solves every strip and updates its multipliers, odd strips first, then even ones;
/// work.size() strips run at a time (the results do not depend on it).
void sweepStrips(const StripSystem& sys, const StripFactors& f, const PointSource& src,
                 EdgeFields& cur, std::vector<StripWork>& work);

}  // namespace sw

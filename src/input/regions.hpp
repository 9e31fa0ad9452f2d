#pragma once
/// The material regions of the deck and the material map they give.

#include "materials/material_tables.hpp"
#include "model/run_params.hpp"
#include "records/in_file.hpp"
#include "records/out_file.hpp"

namespace sw {

/// Material regions from the deck up to the terminating group, the material map with its
/// halo, and the check that every element has a material with tables.
void readRegions(rec::InFile& deck, rec::OutFile& log, const RunParams& par, Materials& mat);

}  // namespace sw

#pragma once
/// Reading the input of a run: deck, material tables, source wavelet and spectrum,
/// source and receiver placement, material regions, with the echo of everything to the
/// run log.

#include "core/complex.hpp"
#include "core/grid.hpp"
#include "input/run_files.hpp"
#include "model/materials.hpp"
#include "model/run_params.hpp"
#include "records/out_file.hpp"

namespace sw {

/// Reads the deck and the tables, echoes them to `log`, checks the limits (throwing
/// Stop or InputError), writes the four wavelet files and fills the run parameters,
/// the material model (matnum sized to nx, ny) and the filtered source spectrum
/// `sour` (1 .. jw2).
void readInput(InputFiles& in, rec::OutFile& log, RunParams& par, Materials& mat, Vec1<Cx>& sour);

}  // namespace sw

#pragma once
/// Connection of the input files and the run log, in the fixed order of a run.

#include "input/readata.hpp"
#include "records/out_file.hpp"

namespace sw {

/// Connects, in this order: "inp_A", "p_modulus.freq", "s_modulus.freq",
/// "bulk_density.mat" (all must exist), the five anisotropic tables "p11_interp.freq"
/// .. "p66_interp.freq" (created empty when missing), and the log "output" (created or
/// emptied).  A missing file raises rec::IoError before any later file is touched.
void connectFiles(InputFiles& in, rec::OutFile& log);

}  // namespace sw

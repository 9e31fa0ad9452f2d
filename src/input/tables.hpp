#pragma once
/// The material tables: moduli and densities per material and frequency index, their
/// phase velocities, and the time step they imply.

#include "core/complex.hpp"
#include "input/deck.hpp"
#include "input/run_files.hpp"
#include "materials/material_tables.hpp"
#include "model/run_params.hpp"
#include "records/out_file.hpp"

namespace sw {

/// Extremes of the P and S phase velocities over all materials.
struct VelocityRange {
  double ppmin = 0.0, ppmax = 0.0;
  double ssmin = 0.0, ssmax = 0.0;
};

/// Number of frequency records per material in the tables: int(f4 / (f4 / npf)), which
/// is npf or, when the quotient rounds below it, npf - 1.
int tableRecords(double f4, int npf);

/// Phase velocity 1 / Re(1 / q), q the principal square root of (sum / nf) / rho.
double phaseVelocity(Cx sum, int nf, double rho);

/// Reads the isotropic tables (materials 1 .. nmat-1) and the anisotropic tables
/// (3 .. nmat), nf records each, echoes them and returns the velocity extremes.  Records
/// beyond the frequency indices the tables of `mat` hold are read and dropped.
VelocityRange readTables(InputFiles& in, rec::OutFile& log, int nmat, int nf, Materials& mat);

/// Points per wavelength, the time step dt = h / ppmax and the number of steps nt, with
/// their echo and the limit on nt.
void timeStep(rec::OutFile& log, const DeckHeader& hdr, const VelocityRange& v, RunParams& par,
              const Limits& lim = {});

}  // namespace sw

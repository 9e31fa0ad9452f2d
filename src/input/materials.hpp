#pragma once
/// The material model: the table files, phase velocities, time step, the material regions
/// of the deck and the material map.

#include "driver/cx.hpp"
#include "driver/params.hpp"
#include "input/deck.hpp"
#include "input/readata.hpp"
#include "records/in_file.hpp"
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
/// (3 .. nmat), nf records each, echoes them and returns the velocity extremes.
VelocityRange readTables(InputFiles& in, rec::OutFile& log, int nmat, int nf, Materials& mat);

/// Points per wavelength, the time step dt = h / ppmax and the number of steps nt, with
/// their echo and the limit on nt.
void timeStep(rec::OutFile& log, const DeckHeader& hdr, const VelocityRange& v, RunParams& par);

/// Material regions from the deck up to the terminating group, the material map with its
/// halo, and the check that every element has a material with tables.
void readRegions(rec::InFile& deck, rec::OutFile& log, const RunParams& par, Materials& mat);

}  // namespace sw

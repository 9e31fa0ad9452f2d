#pragma once
/// The input routine: deck, material tables, source wavelet and spectrum, source and
/// receiver placement, with the echo of everything to the run log.

#include <array>

#include "driver/params.hpp"
#include "driver/storage.hpp"
#include "records/in_file.hpp"
#include "records/out_file.hpp"

namespace sw {

/// The input files, connected by the driver before anything else.
struct InputFiles {
  rec::InFile deck;                  ///< "inp_A"
  rec::InFile pmod, smod, dens;      ///< "p_modulus.freq", "s_modulus.freq", "bulk_density.mat"
  std::array<rec::InFile, 5> aniso;  ///< "p11_interp.freq" .. "p66_interp.freq"
};

/// Reads the deck and the tables, echoes them to `log`, checks the limits (throwing
/// Stop or InputError), writes the four wavelet files and fills the run parameters,
/// the material model (matnum sized to nx, ny) and the filtered source spectrum
/// `sour` (1 .. jw2).
void readata(InputFiles& in, rec::OutFile& log, RunParams& par, Materials& mat, Vec1<Cx>& sour);

/// Boundary indicators: 1 at the first and last element along x and along y.
void setdelta(int nx, int ny, Indicators& del);

/// Density and stiffness of every element (ghost frame included) for frequency index jw.
void fillMedium(int jw, const Materials& mat, Medium& med);

}  // namespace sw

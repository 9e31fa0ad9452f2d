#pragma once
/// Reading the input of a run: deck, material tables, source wavelet and spectrum,
/// source and receiver placement, material regions, with the echo of everything to the
/// run log.

#include <functional>
#include <string>

#include "core/complex.hpp"
#include "core/grid.hpp"
#include "input/placement.hpp"
#include "input/record_period.hpp"
#include "input/run_files.hpp"
#include "materials/material_tables.hpp"
#include "materials/property_grid.hpp"
#include "model/run_params.hpp"
#include "records/out_file.hpp"

namespace sw {

/// The sizes a run's storage grows with, as far as the input knows them.
struct RunSizes {
  int nx = 0, ny = 0, nsnapt = 0;
  int nfreq = 0;  ///< frequency indices of the band (of the tables, before the band is known)
  int nrec = 0;
  int nt = 0;  ///< time samples, the type-2 pulse included
};

/// How far the input lets a run grow.
struct InputLimits {
  Limits limits;
  /// Asked before storage that grows with the run is allocated: why a run of these sizes
  /// would not fit in memory, or an empty text.  None: the limits alone bound the run.
  std::function<std::string(const RunSizes&)> memory;
};

/// The input of one shot of a survey: the directory its files go to and its source.
struct ShotInput {
  std::string dir;
  SourceOverride source;
};

/// A gridded earth model in place of the deck's regions and the tables: the model file
/// to read and, once read, its property grid.
struct GriddedInput {
  std::string path;  ///< relative to the run directory
  PropertyGrid grid;
};

/// Reads the deck and the tables, echoes them to `log`, checks the limits (throwing
/// Stop or InputError), writes the four wavelet files and fills the run parameters,
/// the material model (matnum sized to nx, ny) and the filtered source spectrum
/// `sour` (1 .. jw2).  The memory check of `lim`, if any, is asked before the tables are
/// read and again before the wavelet and the material map; a refusal ends the log with
/// " not enough memory: ..." and is thrown as NoMemory.
///
/// With `gridded`, the model file takes the place of the tables (it is read where they
/// would be, and one log line says so) and the regions are not read; the material count
/// is read and echoed but not checked, and `mat` is left without tables or map.  The
/// wavelet files, which a tabled run creates empty at the start, are connected only once
/// the model file is read, so that a refused model leaves nothing but the log.  The
/// velocities that set the time step are those of the model's elements.
///
/// With `shot`, the source is the shot's (its position and, if given, pattern, echoed in
/// place of the deck's) and the wavelet files go to the shot's directory.
///
/// With par.damping a > 0 (set by the caller), `sour` is the spectrum at the complex
/// frequencies w - i a: that of the wavelet damped by exp(-a t), tapered as without it;
/// the wavelet files are those of the undamped wavelet.
///
/// With `record`, what the record needs of the period of the frequency sampling (the
/// length, the axis, the model's extent and its slowest wave) is filled in.
void readInput(InputFiles& in, rec::OutFile& log, RunParams& par, Materials& mat, Vec1<Cx>& sour,
               const InputLimits& lim = {}, GriddedInput* gridded = nullptr,
               const ShotInput* shot = nullptr, RecordSpan* record = nullptr);

}  // namespace sw

#pragma once
/// The files of a run, all in the working directory: their names, and the connection of
/// the input files and the log in the fixed order of a run.

#include <array>
#include <string>

#include "records/in_file.hpp"
#include "records/out_file.hpp"

namespace sw {

/// Names of the files a run reads and writes.
namespace files {

inline constexpr const char* kDeck = "inp_A";
inline constexpr const char* kPModulus = "p_modulus.freq";
inline constexpr const char* kSModulus = "s_modulus.freq";
inline constexpr const char* kDensity = "bulk_density.mat";
/// Anisotropic tables C11, C13, C33, C55, C66; created empty when missing.
inline constexpr std::array<const char*, 5> kAnisotropic = {
    "p11_interp.freq", "p13_interp.freq", "p33_interp.freq", "p55_interp.freq", "p66_interp.freq"};
inline constexpr const char* kLog = "output";
/// What an unfinished run has done so far, for --resume (hidden; removed at the end).
inline constexpr const char* kCheckpoint = ".stripwave.checkpoint";

inline constexpr const char* kWavelet = "fuente_sin_filtrar";
inline constexpr const char* kFilteredWavelet = "fuente_filtrada";
inline constexpr const char* kSpectrum = "espectro_sin_filtrar";
inline constexpr const char* kFilteredSpectrum = "espectro_filtrado";

/// Snapshot k of nsnapt of the vertical (component 2) or horizontal (component 1)
/// particle velocity: "fort.6" or "fort.5" followed by k in at least two digits,
/// zero-padded to the digits of nsnapt.  Up to 99 snapshots these are the unit names
/// "fort.601" .. "fort.699" and "fort.501" .. "fort.599"; with more, every snapshot name
/// of the run grows by a digit ("fort.6001" ..), so the components never share a name.
std::string snapshot(int component, int k, int nsnapt);
/// Traces of the horizontal (component 1) or vertical (component 2) particle velocity:
/// "fort.60" and "fort.70".
inline std::string traces(int component) { return component == 1 ? "fort.60" : "fort.70"; }

/// `name` in directory `dir` (relative to the run directory); `name` itself when `dir`
/// is empty.
inline std::string inDirectory(const std::string& dir, const std::string& name) {
  return dir.empty() ? name : dir + "/" + name;
}

}  // namespace files

/// The input files, connected before anything else.
struct InputFiles {
  rec::InFile deck;
  rec::InFile pmod, smod, dens;      ///< isotropic moduli and densities
  std::array<rec::InFile, 5> aniso;  ///< C11, C13, C33, C55, C66
  std::array<bool, 5> anisoCreated{};  ///< created empty by this run (nothing was there)
};

/// Which input files a run reads.
enum class MaterialInput {
  tables,     ///< the deck's regions and the material tables
  modelFile,  ///< a model file (read by the input step itself): no table is opened
};

/// How the log is written.
enum class LogWriting {
  live,  ///< in place as the run goes, so that it can be followed
  held,  ///< kept in memory and put in place whole by its commit (no descriptor held)
};

/// Connects, in this order: the deck, the P-wave and shear modulus tables and the
/// densities (all must exist, as regular files), the five anisotropic tables (created
/// empty when missing, as the placeholders of a run that does not read them), and the
/// log (created or emptied); without the tables for a model file.  A missing file raises
/// rec::IoError before any later file is touched.  The log is the one of directory
/// `logDir` (a shot's of a survey; empty: the run directory's), written as `writing` says.
void openRunFiles(InputFiles& in, rec::OutFile& log,
                  MaterialInput materials = MaterialInput::tables, const std::string& logDir = "",
                  LogWriting writing = LogWriting::live);

}  // namespace sw

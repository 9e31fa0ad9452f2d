#pragma once
/// The command line: `stripwave [OPTIONS] [RUNDIR]`.

#include <optional>
#include <string>

#include "coupling/accelerated_iteration.hpp"

#include "core/exit_status.hpp"

namespace sw {

/// When progress lines go to the standard error stream.
enum class ProgressMode {
  Auto,    ///< when the stream is a terminal
  Always,  ///< --progress
  Never,   ///< --quiet
};

/// How each frequency's system is solved.
enum class SolverKind {
  strips,  ///< the strip iteration (the established solution)
  direct,  ///< a sparse direct solve of the whole grid (--solver direct)
};

/// True when this build holds the direct solver.
bool directSolverBuilt();

/// The shots of a shots file one run takes: FIRST to LAST, 1-based, inclusive.
struct ShotRange {
  int first = 1, last = 1;
};

/// Reads "FIRST:LAST" (or "K", one shot) of --shot-range: FIRST and LAST whole numbers
/// with 1 <= FIRST <= LAST; nothing for any other text.
std::optional<ShotRange> parseShotRange(const std::string& text);

/// What the command line asks of a run.
/// The thickest layer --pml takes, in elements.
inline constexpr int kMaxLayerElements = 100000;

struct Options {
  std::string runDir = ".";  ///< directory of the deck, the tables and every output
  int threads = 0;           ///< --threads; 0 leaves the choice to the grid size
  ProgressMode progress = ProgressMode::Auto;
  bool liftLimits = false;  ///< --lift-limits: the storage limits give way to memory
  bool freeSurface = false;  ///< --free-surface: the top edge traction-free
  /// --pml N: the elements of a perfectly matched layer around the grid (0: none)
  int pml = 0;
  /// --accelerate (where it pays) or --accelerate-all: the accelerated interface iteration
  Acceleration acceleration = Acceleration::off;
  /// --require-convergence: a frequency that ends without converging fails the run
  /// (kExitUnconverged) once its files are written
  bool requireConvergence = false;
  /// --model FILE: the gridded earth model of an HDF5 file (relative to the run
  /// directory) in place of the deck's regions and the tables; empty: the tables
  std::string modelFile;
  /// --shots FILE: a survey, one shot per line of the text file (relative to the run
  /// directory), each shot's files in its own directory; empty: the deck's one shot
  std::string shotsFile;
  /// --shot-range FIRST:LAST: only shots FIRST to LAST (1-based, inclusive) of the shots
  /// file, written with their numbers in the whole file, and the list of a part of a
  /// survey (one task of a job array; `python3 -m stripwave merge-survey` joins the parts)
  std::optional<ShotRange> shotRange;
  SolverKind solver = SolverKind::strips;  ///< --solver
  /// --resume: continue the interrupted run whose checkpoint is in the run directory
  bool resume = false;
  /// --complex-frequency (or --damping): solve at the complex frequencies w - i a, which
  /// damps the fields by exp(-a t), and undo the damping in the traces and snapshots
  bool complexFrequency = false;
  /// --damping G: a itself, in the deck's inverse time unit; none: a = pi delf
  std::optional<double> damping;
  /// --mpi-bands: under mpirun each rank solves a contiguous band of frequencies (the warm
  /// starts of the strip iteration kept but at the bands' edges) instead of every N-th
  bool mpiBands = false;
  /// --distributed-factor: under mpirun every rank takes every frequency, all of them
  /// factoring it together (MUMPS on the world, rank 0 holding the matrix); with one
  /// process the ordinary direct solve
  bool distributedFactor = false;
};

/// A command line that a run refuses once it has looked at the deck (a damping whose
/// gain overflows over the record): ends the program with kExitUsage.
struct UsageError {
  std::string reason;
};

/// The text of a refused command line: "stripwave: <reason>", the usage line and where
/// the options are told.
std::string usageErrorText(const std::string& reason);

/// Outcome of reading the command line: either a run with its options, or an exit with
/// a status and the text for the standard output and error streams.
struct CommandLine {
  std::optional<Options> run;
  int status = 0;
  std::string out, err;
};

/// Reads argv[1 ..].  --help and --version end with status 0 and their text in `out`;
/// an unknown option, a bad value or an extra argument ends with kExitUsage, the reason
/// and the usage line in `err`.  Nothing is opened or created.
CommandLine parseCommandLine(int argc, const char* const* argv);

/// The text of --version: version, compiler, SIMD width, threads available.
std::string versionText();

}  // namespace sw

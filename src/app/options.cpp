#include "app/options.hpp"

#include <omp.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/lanes.hpp"
#include "core/mpi_environment.hpp"
#include "model/matched_layer.hpp"

namespace sw {

namespace {

constexpr const char* kUsage = "Usage: stripwave [OPTIONS] [RUNDIR]\n";

constexpr const char* kFooter =
    "Without options the run writes the established files, byte for byte.\n"
    "Exit statuses: 0 finished; 2 a file could not be opened, read or written; 3 input\n"
    "the model cannot run with; 4 non-finite fields; 5 not enough memory; 6 another run\n"
    "is using the directory; 7 a frequency did not converge (--require-convergence);\n"
    "64 a bad command line (also a --damping whose gain overflows over the record, or\n"
    "--resume or --pml under mpirun with more than one rank, --distributed-factor\n"
    "without --solver direct or with --mpi-bands);\n"
    "130, 143 stopped by SIGINT, SIGTERM;\n"
    "otherwise the low 8 bits of a stop code (STOP n on the error stream).";

std::string compilerText() {
#if defined(__clang__)
  return "clang " __clang_version__;
#elif defined(__GNUC__)
  return "GCC " __VERSION__;
#else
  return "unknown compiler";
#endif
}

/// Strips the lane kernels solve side by side, one per SIMD lane, and the instructions
/// the lanes were built for.
std::string simdText() { return std::to_string(kLanes) + " doubles (" + kLaneIsa + ")"; }

}  // namespace

std::string usageErrorText(const std::string& reason) {
  return "stripwave: " + reason + "\n" + kUsage + "Run 'stripwave --help' for the options.\n";
}

std::optional<ShotRange> parseShotRange(const std::string& text) {
  // Whole numbers of digits only: no sign, blank or exponent.
  const auto number = [](std::string_view digits) -> std::optional<int> {
    if (digits.empty() || digits.size() > 9) return std::nullopt;
    int v = 0;
    for (const char c : digits) {
      if (c < '0' || c > '9') return std::nullopt;
      v = 10 * v + (c - '0');
    }
    return v;
  };
  const std::string_view all(text);
  const std::size_t colon = all.find(':');
  const std::optional<int> first = number(all.substr(0, colon));
  const std::optional<int> last =
      colon == std::string_view::npos ? first : number(all.substr(colon + 1));
  if (!first || !last || *first < 1 || *last < *first) return std::nullopt;
  return ShotRange{*first, *last};
}

bool directSolverBuilt() {
#if defined(STRIPWAVE_DIRECT)
  return true;
#else
  return false;
#endif
}

std::string versionText() {
  return "stripwave " STRIPWAVE_VERSION
         "\n"
         "compiler: " +
         compilerText() +
         "\n"
         "SIMD width: " +
         simdText() +
         "\n"
         "threads available: " +
         std::to_string(omp_get_max_threads()) + "\n" +
         "direct solver: " + (directSolverBuilt() ? "built (MUMPS)" : "not built") + "\n" +
         "MPI: " + (mpi::built() ? "built (" + mpi::libraryText() + ")" : "not built") + "\n";
}

CommandLine parseCommandLine(int argc, const char* const* argv) {
  Options opt;
  CLI::App app(
      "Simulates 2-D elastic waves in the frequency domain.  Reads inp_A and the material\n"
      "tables in RUNDIR and writes the log `output` and every result file there.",
      "stripwave");
  app.get_formatter()->column_width(20);
  app.footer(kFooter);
  app.set_help_flag("-h,--help", "Print this help and exit");
  app.set_version_flag("-V,--version", versionText,
                       "Print version, compiler, SIMD width and threads, then exit");
  app.add_option("RUNDIR", opt.runDir, "Run directory (default: the current directory)")
      ->type_name("");
  app.add_option("-t,--threads", opt.threads,
                 "Threads for the strips and grid passes, 1 to 1024 (default: all\n"
                 "that OpenMP offers from 4096 elements on, one below); the\n"
                 "results do not depend on it")
      ->type_name("N")
      ->check(CLI::Range(1, 1024).description(""));
  bool progress = false, quiet = false;
  auto* progressFlag = app.add_flag("-p,--progress", progress,
                                    "Progress and summary on the error stream even when it is\n"
                                    "not a terminal (then one line per frequency)");
  auto* quietFlag = app.add_flag("-q,--quiet", quiet, "No progress and no summary");
  progressFlag->excludes(quietFlag);
  app.add_flag("--lift-limits", opt.liftLimits,
               "Lift the limits on grid size, time samples, receivers, time\n"
               "snapshots and frequencies; a run whose estimated memory does\n"
               "not fit is refused (status 5)");
  bool accelerate = false, accelerateAll = false;
  app.add_flag("--accelerate", accelerate,
               "Accelerated interface iteration (Anderson mixing of the data the\n"
               "strips exchange) for the frequencies after one that took more\n"
               "than " + std::to_string(kMixAfterPasses) +
                   " passes or did not converge: the same solution in fewer\n"
                   "passes, to at least the same accuracy; the files are not byte for\n"
                   "byte the default's");
  app.add_option("--model", opt.modelFile,
                 "Take the density and stiffness of every element from the HDF5\n"
                 "model file FILE (relative to RUNDIR; docs/model_file.md) instead\n"
                 "of the deck's material regions and the tables, which are not\n"
                 "read; the deck gives the rest.  The log has one more line")
      ->type_name("FILE");
  app.add_option("--shots", opt.shotsFile,
                 "A survey in one run: the shots of the text file FILE (relative to\n"
                 "RUNDIR), one a line \"x y [kind]\" (source position in m; kind\n"
                 "explosion, shear, asymmetric, vertical-force or horizontal-force,\n"
                 "the deck's kdel 1 to 5; default the deck's; # starts a comment).\n"
                 "Shot k's files go to RUNDIR/shot_0001, shot_0002, ... as a run of\n"
                 "its own writes them, the list of shots and their state to\n"
                 "RUNDIR/survey.txt; each frequency is factored once for all shots.\n"
                 "The deck's own files in RUNDIR are left alone")
      ->type_name("FILE");
  std::string shotRange;
  auto* shotRangeOption = app.add_option(
      "--shot-range", shotRange,
      "With --shots: only shots FIRST to LAST of FILE (1-based, inclusive;\n"
      "K alone for one shot), each in the directory of its number in the\n"
      "whole file, and survey.txt the list of this part of the survey:\n"
      "one task of a job array.  'python3 -m stripwave merge-survey OUTDIR\n"
      "PARTDIR...' joins the parts into the survey of one run.  A range\n"
      "past the end of FILE is refused (status 3)")
      ->type_name("FIRST:LAST");
  app.add_flag("--accelerate-all", accelerateAll,
               "The accelerated iteration for every frequency, also where its\n"
               "stricter stopping test costs more passes than the mixing saves");
  app.add_flag("--resume", opt.resume,
               "Continue the interrupted run of RUNDIR from its checkpoint (kept\n"
               "after finished frequencies): the files are those of a run never\n"
               "stopped.  Refused (status 3) for a checkpoint of another deck,\n"
               "tables, options that change results or build, or a damaged one;\n"
               "without a checkpoint status 2.  A survey (--shots) resumes with the\n"
               "same shots file");
  app.add_flag("--free-surface", opt.freeSurface,
               "The top edge of the grid (y = ysize) is a traction-free surface\n"
               "instead of absorbing: Rayleigh waves, ghosts, a sea surface.\n"
               "Changes results");
  std::string pml;
  auto* pmlOption =
      app.add_option("--pml", pml,
                     "A perfectly matched layer of N elements (default " +
                         std::to_string(MatchedLayer::kDefaultElements) +
                         ") outside the grid on every\n"
                         "absorbing side (three with --free-surface) instead of the\n"
                         "absorbing edges: the grid's files stay those of its own elements.\n"
                         "N a whole number from 1 to " +
                         std::to_string(kMaxLayerElements) +
                         " (status 64); the strip iteration runs GMRES on\n"
                         "its interface data there (not with --accelerate or\n"
                         "--accelerate-all, status 64); a layer the memory cannot hold is\n"
                         "refused (status 5).  Changes results")
          ->type_name("[N]")
          ->expected(0, 1);
  app.add_flag("--require-convergence", opt.requireConvergence,
               "Exit with status 7 when a frequency ends without converging (the\n"
               "files are still written); the error names the pass limit to raise\n"
               "and how far the change stayed above reduc.  Default: status 0");

  app.add_flag("--complex-frequency", opt.complexFrequency,
               "Solve at the complex frequencies w - i a (a = pi delf unless\n"
               "--damping gives it): the fields are damped by exp(-a t), so that\n"
               "arrivals after the period 1/delf hardly fold back into the record,\n"
               "and the traces and snapshots take the gain exp(a t) back; the files\n"
               "are not byte for byte the default's");
  std::string damping;
  auto* dampingOption = app.add_option("--damping", damping,
                 "The complex frequency with a = G, in the deck's inverse time unit\n"
                 "(1/ms with times in ms); implies --complex-frequency.  G must be\n"
                 "positive and finite, and exp(G t) finite over the record (status 64)")
      ->type_name("G");

  app.add_flag("--mpi-bands", opt.mpiBands,
               "Under mpirun: each rank solves a contiguous band of the frequencies\n"
               "instead of every N-th, so that the strip iteration keeps its warm\n"
               "starts but at the bands' edges (the direct solver's files are the\n"
               "same either way)");

  app.add_flag("--distributed-factor", opt.distributedFactor,
               "With --solver direct under mpirun: every rank takes every frequency\n"
               "and all ranks factor it together (for factors that do not fit one\n"
               "machine; rank 0 assembles the matrix and holds the solutions); the\n"
               "files agree with one process's to 1e-10, the log adds each rank's\n"
               "memory.  With one process the ordinary direct solve, the log with\n"
               "the memory lines.  Without --solver direct, or with --mpi-bands:\n"
               "status 64");

  std::string solver = "strips";
  app.add_option("--solver", solver,
                 "How each frequency is solved: strips (the strip iteration, the\n"
                 "default) or direct (a sparse direct solve of the whole grid,\n"
                 "one factorisation per frequency; the log gives each frequency's\n"
                 "relative residual in place of the convergence lines, so the files\n"
                 "are not byte for byte the default's; needs a build with the direct\n"
                 "solver, see --version)")
      ->type_name("NAME")
      ->check(CLI::IsMember({"strips", "direct"}).description(""));

  CommandLine result;
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    result.out = app.help();
    // The footer ends the text without a line break.
    while (!result.out.empty() && result.out.back() == '\n') result.out.pop_back();
    result.out += '\n';
    return result;
  } catch (const CLI::CallForVersion& v) {
    result.out = v.what();
    return result;
  } catch (const CLI::ParseError& e) {
    result.status = kExitUsage;
    result.err = usageErrorText(e.what());
    return result;
  }
  if (dampingOption->count() > 0) {
    const char* text = damping.c_str();
    char* end = nullptr;
    const double a = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(a) || !(a > 0.0)) {
      result.status = kExitUsage;
      result.err = usageErrorText("--damping " + damping +
                                  ": the damping a of the complex frequency w - i a must be a "
                                  "positive, finite number (in the deck's inverse time unit)");
      return result;
    }
    opt.damping = a;
    opt.complexFrequency = true;
  }
  if (pmlOption->count() > 0) {
    const char* text = pml.c_str();
    char* end = nullptr;
    errno = 0;
    const long n = pml.empty() ? MatchedLayer::kDefaultElements : std::strtol(text, &end, 10);
    if (!pml.empty() && (end == text || *end != '\0' || errno != 0 || n < 1 ||
                         n > kMaxLayerElements)) {
      result.status = kExitUsage;
      result.err = usageErrorText("--pml " + pml +
                                  ": the layer's thickness N must be a whole number of "
                                  "elements from 1 to " +
                                  std::to_string(kMaxLayerElements) +
                                  " (--pml alone: " +
                                  std::to_string(MatchedLayer::kDefaultElements) + ")");
      return result;
    }
    opt.pml = static_cast<int>(n);
  }
  if (shotRangeOption->count() > 0) {
    opt.shotRange = parseShotRange(shotRange);
    if (!opt.shotRange) {
      result.status = kExitUsage;
      result.err = usageErrorText("--shot-range " + shotRange +
                                  ": expected FIRST:LAST, whole numbers with 1 <= FIRST <= "
                                  "LAST (the shots' numbers in the shots file, from 1), or K");
      return result;
    }
    if (opt.shotsFile.empty()) {
      result.status = kExitUsage;
      result.err = usageErrorText("--shot-range selects shots of a survey: it needs --shots FILE");
      return result;
    }
  }
  if (progress) opt.progress = ProgressMode::Always;
  if (quiet) opt.progress = ProgressMode::Never;
  if (accelerate) opt.acceleration = Acceleration::whereSlow;
  if (accelerateAll) opt.acceleration = Acceleration::always;
  if (solver == "direct") {
    if (!directSolverBuilt()) {
      result.status = kExitUsage;
      result.err = std::string("stripwave: --solver direct: this build has no direct solver "
                               "(configure with libmumps-seq-dev and libmetis-dev installed, "
                               "STRIPWAVE_DIRECT=ON)\n") +
                   kUsage + "Run 'stripwave --help' for the options.\n";
      return result;
    }
    if (opt.acceleration != Acceleration::off) {
      result.status = kExitUsage;
      result.err = std::string("stripwave: --accelerate and --accelerate-all apply to the strip "
                               "iteration, not to --solver direct\n") +
                   kUsage + "Run 'stripwave --help' for the options.\n";
      return result;
    }
    opt.solver = SolverKind::direct;
  }
  if (opt.pml > 0 && opt.acceleration != Acceleration::off) {
    // The strip iteration of a layer chooses every pass's start by GMRES already.
    result.status = kExitUsage;
    result.err = std::string("stripwave: --accelerate and --accelerate-all do not apply to "
                             "--pml: the strip iteration of a layer runs GMRES\n") +
                 kUsage + "Run 'stripwave --help' for the options.\n";
    return result;
  }
  result.run = opt;
  return result;
}

}  // namespace sw

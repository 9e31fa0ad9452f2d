#include "app/run.hpp"

#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/checkpoint.hpp"
#include "app/cpu_time.hpp"
#include "app/frequency_loop.hpp"
#include "app/memory.hpp"
#include "app/progress.hpp"
#include "app/run_directory.hpp"
#include "app/shared_run.hpp"
#include "app/survey.hpp"
#include "core/check.hpp"
#include "core/constants.hpp"
#include "core/exit_status.hpp"
#include "core/interrupt.hpp"
#include "core/warning.hpp"
#include "core/frequency.hpp"
#include "input/deck.hpp"
#include "input/model_file.hpp"
#include "input/read_input.hpp"
#include "input/record_period.hpp"
#include "input/reject.hpp"
#include "input/run_files.hpp"
#include "input/shots_file.hpp"
#include "materials/grid_materials.hpp"
#include "materials/tabled_materials.hpp"
#include "output/time_domain_files.hpp"
#include "records/io_error.hpp"
#include "records/layout.hpp"
#include "model/matched_layer.hpp"
#include "solvers/layered_solver.hpp"
#if defined(STRIPWAVE_DIRECT)
#include "solvers/direct_solver.hpp"
#endif

namespace sw {

namespace {

/// Source patterns other than 1 to 5 apply no source: the run is valid but every
/// output is zero.  Said on the terminal only, so files and status stay unchanged.
void warnNoSource(int kdel) {
  if (isatty(STDERR_FILENO) == 1)
    std::fprintf(stderr,
                 "stripwave: warning: kdel = %d applies no source (only 1 to 5 do); "
                 "every output will be zero\n",
                 kdel);
}

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point t0) {
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

/// Columns of the terminal on the standard error stream, 0 when unknown.
int terminalWidth() {
  winsize ws{};
  return ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 ? ws.ws_col : 0;
}

/// Why a run of these sizes would not fit in the memory available, or nothing.
std::string memoryRefusal(const RunSizes& s, const Options& opt, long shots = 1) {
  const int threads = opt.threads;
  RunShape shape;
  shape.nx = s.nx;
  shape.ny = s.ny;
  shape.nsnapt = std::max(s.nsnapt, 0);
  shape.nfreq = std::max(s.nfreq, 0);
  shape.tableFreqs = std::max(s.nfreq, kMaxFreqs);
  shape.nrec = std::max(s.nrec, 0);
  shape.nt = std::max(s.nt, 0);
  shape.threads = threads > 0 ? threads : defaultThreads(s.nx, s.ny);
  shape.accelerate = opt.acceleration != Acceleration::off;
  shape.gridModel = !opt.modelFile.empty();
  shape.shots = shots;
  shape.layer = opt.pml;
  shape.layerTop = !opt.freeSurface;
  shape.layerIteration = opt.pml > 0 && opt.solver != SolverKind::direct;
  const MemoryEstimate e = estimateMemory(shape);
  const AvailableMemory a = availableMemory();
  if (e.total() <= a.bytes) return {};
  return "the run needs an estimated " + bytesText(e.total()) + " (grid " + bytesText(e.grid) +
         ", snapshots " + bytesText(e.snapshots) + ", traces " + bytesText(e.traces) + ", other " +
         bytesText(e.other) + "), " + bytesText(a.bytes) + " are available (" + a.source + ")";
}

/// The layer of a run of `elements` elements around the grid of `par` (none for 0).
MatchedLayer matchedLayer(const RunParams& par, int elements) {
  return MatchedLayer{elements, !par.freeSurface, par.nx, par.ny};
}

/// Megabytes as the log gives MUMPS's figures: whole numbers.
std::string mbText(double mb) { return std::to_string(static_cast<long long>(mb)) + " MB"; }

/// The figures of every rank, "a, b, c".
template <class F>
std::string perRank(std::size_t ranks, F figure) {
  std::string text;
  for (std::size_t r = 0; r < ranks; ++r) text += (r == 0 ? "" : ", ") + mbText(figure(r));
  return text;
}

#if defined(STRIPWAVE_DIRECT)
/// The line of the log (--distributed-factor) that gives each rank's estimate of the
/// analysis.
std::string rankEstimateText(const DirectSolver& d) {
  const std::vector<RankMemory>& m = d.rankMemory();
  const std::size_t n = m.size();
  return "factorisation on " + std::to_string(n) + (n == 1 ? " rank" : " ranks") +
         ": estimated memory per rank (MUMPS INFO(15)) " +
         perRank(n, [&](std::size_t r) { return m[r].estimateMb; }) + "; total " +
         mbText(d.estimate().memoryMb);
}

/// The line of the log and the summary (--distributed-factor) that gives each rank's memory
/// of the factorisations and their time.
std::string rankMemoryText(const DirectSolver& d) {
  const std::vector<RankMemory>& m = d.rankMemory();
  const MemoryTotals& t = d.memoryTotals();
  const SolverStatistics& s = d.statistics();
  const std::size_t n = m.size();
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.3f", s.totalFactorSeconds);
  return "factorisation on " + std::to_string(n) + (n == 1 ? " rank" : " ranks") +
         ": memory used per rank, largest of the run (MUMPS INFO(22)) " +
         perRank(n, [&](std::size_t r) { return m[r].largestUsedMb; }) +
         "; allocated per rank by the last (INFO(16)) " +
         perRank(n, [&](std::size_t r) { return m[r].allocatedMb; }) +
         "; the last over the ranks: used " + mbText(t.usedMb) + " (largest " +
         mbText(t.largestUsedMb) + "), allocated " + mbText(t.allocatedMb) + " (largest " +
         mbText(t.largestAllocatedMb) + "); " + std::to_string(s.factorisations) +
         " factorisations in " + seconds + " s";
}
#endif

/// The line rankMemoryText gives of a run's direct solver (that of the grid extended by a
/// layer) with --distributed-factor, or nothing.
std::string distributedMemoryText(FrequencySolver* solver, const Options& opt) {
#if defined(STRIPWAVE_DIRECT)
  if (!opt.distributedFactor) return {};
  if (auto* layered = dynamic_cast<LayeredSolver*>(solver); layered != nullptr)
    solver = &layered->extended();
  if (const auto* d = dynamic_cast<const DirectSolver*>(solver); d != nullptr)
    return rankMemoryText(*d);
#else
  (void)solver;
  (void)opt;
#endif
  return {};
}

/// The direct solver of the run's grid, its pattern analysed, by this process or (a
/// distributed run) by every rank together.  Refused (NoMemory, the reason also ending the
/// log) when MUMPS's estimate of a factorisation and the solver's own storage do not fit in
/// the memory available, or a rank's part of it in that rank's.  With --distributed-factor
/// the log then gives each rank's estimate.
std::unique_ptr<FrequencySolver> directSolver(const RunParams& par, const MaterialModel& materials,
                                              int threads, int shots, int layerElements,
                                              rec::OutFile& log, const Options& opt) {
#if defined(STRIPWAVE_DIRECT)
  const auto refuse = [&log](const std::string& why) {
    const std::string line = "not enough memory: " + why;
    log.writeList({std::string_view(line)});
    log.flush();
    throw NoMemory(why);
  };
  const StripGrid grid{par.nx, par.ny, par.h, par.freeSurface};
  const MatchedLayer layer = matchedLayer(par, layerElements);
  const StripGrid solved = layer.present() ? extendedGrid(grid, layer) : grid;
  if (!wholeGridFits(solved.nx, solved.ny))
    refuse("the direct solver numbers the unknowns of a grid with 32-bit integers; " +
           std::to_string(solved.nx) + " by " + std::to_string(solved.ny) + " elements" +
           (layer.present() ? " (the grid and its layer)" : "") + " have more");
  const bool distributed = distributedRun(opt);
  const DirectSettings settings{threads > 0 ? threads : defaultThreads(solved.nx, solved.ny),
                                shots, kRunOrdering, par.damping,
                                distributed ? MumpsRanks::world : MumpsRanks::own};
  const DirectSolver* direct = nullptr;
  std::unique_ptr<FrequencySolver> solver;
  if (layer.present()) {
    solver = std::make_unique<LayeredSolver>(
        grid, materials, layer, [&](const StripGrid& g, const MaterialModel& m) {
          auto d = std::make_unique<DirectSolver>(g, m, settings);
          direct = d.get();
          return std::unique_ptr<FrequencySolver>(std::move(d));
        });
  } else {
    auto d = std::make_unique<DirectSolver>(grid, materials, settings);
    direct = d.get();
    solver = std::move(d);
  }
  // The snapshot and trace sums of the shots are allocated after the check.
  RunShape shape;
  shape.nx = par.nx;
  shape.ny = par.ny;
  shape.nsnapt = std::max(par.nsnapt, 0);
  shape.nfreq = std::max(par.jw2, 0);
  shape.nrec = std::max(par.nrec, 0);
  shape.nt = std::max(par.nt, 0);
  shape.shots = shots;
  const MemoryEstimate later = estimateMemory(shape);
  const double sums = later.snapshots + later.traces;
  const double needs = static_cast<double>(solver->bytes()) + sums;
  const AvailableMemory a = availableMemory();
  if (needs > a.bytes)
    refuse("the direct solver needs an estimated " + bytesText(needs) + " (factors and work " +
           bytesText((distributed ? direct->rankMemory().front().estimateMb
                                  : direct->estimate().memoryMb) *
                     1048576.0) +
           (distributed ? " on rank 0" : "") + " by the analysis, snapshot and trace sums " +
           bytesText(sums) + "), " +
           bytesText(a.bytes) + " are available (" + a.source + ")");
  if (distributed) {
    // Each rank's part of the factors and work against that rank's memory (rank 0's also
    // holds the matrix and the sums, counted above).
    const std::vector<RankMemory>& part = direct->rankMemory();
    const std::vector<AvailableMemory>& room = rankAvailableMemory();
    SW_CHECK(part.size() == room.size(), "the memory of every rank");
    for (std::size_t r = 1; r < part.size(); ++r)
      if (part[r].estimateMb * 1048576.0 > room[r].bytes)
        refuse("rank " + std::to_string(r) + "'s part of the factorisation needs an estimated " +
               bytesText(part[r].estimateMb * 1048576.0) + " by the analysis (of " +
               bytesText(direct->estimate().memoryMb * 1048576.0) + " on " +
               std::to_string(part.size()) + " ranks), " + bytesText(room[r].bytes) +
               " are available there (" + room[r].source + ")");
  }
  if (opt.distributedFactor) log.writeList({std::string_view(rankEstimateText(*direct))});
  return solver;
#else
  (void)par;
  (void)materials;
  (void)threads;
  (void)shots;
  (void)layerElements;
  (void)log;
  (void)opt;
  throw InputError("this build has no direct solver");
#endif
}

/// The files a finished run leaves behind, for the summary.
std::string filesText(const RunParams& par) {
  std::string text = std::string(files::kLog) + " (log)";
  if (par.nrec > 0) text += ", " + files::traces(1) + " and " + files::traces(2) + " (traces)";
  if (par.nsnapt > 0) {
    const auto range = [&par](int c) {
      return files::snapshot(c, 1, par.nsnapt) +
             (par.nsnapt > 1 ? " .. " + files::snapshot(c, par.nsnapt, par.nsnapt) : "");
    };
    text += ", " + range(1) + " and " + range(2) + " (snapshots)";
  }
  return text;
}

/// What the log and the summary say of a run at complex frequencies.
std::string dampingText(double a) {
  return "complex frequency: solved at w - i a, a = " + realText(a) +
         "; the traces and snapshots take the gain exp(a t)";
}

/// How progress is shown, if at all: in place on a terminal, one line per frequency
/// elsewhere.
std::optional<ProgressReport::Style> progressStyle(ProgressMode mode) {
  const bool terminal = isatty(STDERR_FILENO) == 1;
  if (mode == ProgressMode::Never || (mode == ProgressMode::Auto && !terminal)) return {};
  return terminal ? ProgressReport::Style::InPlace : ProgressReport::Style::Lines;
}

/// One line on the standard error stream naming the files removed, if any (the first
/// few, and how many, when there are many).
void reportRemoved(const std::vector<std::string>& names, const char* what) {
  constexpr std::size_t kNamed = 8;
  if (names.empty()) return;
  std::string list;
  for (std::size_t i = 0; i < names.size() && i < kNamed; ++i)
    list += (i == 0 ? "" : ", ") + names[i];
  if (names.size() > kNamed) list += ", ... (" + std::to_string(names.size()) + " files)";
  std::fprintf(stderr, "stripwave: removed %s: %s\n", what, list.c_str());
}

/// How the frequency loop of a finished run went.
struct RunEnd {
  std::optional<int> nonFinite;  ///< first frequency index whose fields became non-finite
  int unconverged = 0;           ///< frequencies that ended without converging
  int solved = 0;
  std::string shortfall;         ///< shortfallText of the unconverged ones
  bool summarised = false;       ///< the summary, with the shortfall, was shown
  /// A survey: how each shot ended (empty for a run of the deck's one shot).
  std::vector<ShotReport> shots;
};

PassLimits passLimits(const RunParams& par) {
  return {par.maxiter, par.maxlow, par.jwlow, par.reduc};
}

/// The input limits of the options; the memory check counts `shots` shots.
InputLimits inputLimits(const Options& opt, long shots) {
  InputLimits lim;
  if (opt.liftLimits) lim.limits = Limits::lifted();
  // A layer enlarges the grid the solvers hold beyond what the limits bound.
  if (opt.liftLimits || opt.pml > 0)
    lim.memory = [&opt, shots](const RunSizes& s) { return memoryRefusal(s, opt, shots); };
  return lim;
}

/// Makes the progress report of the frequency loop, when shown or when the outcomes are
/// wanted.
void makeProgress(std::optional<ProgressReport>& progress, const Options& opt,
                  const RunParams& par, Clock::time_point start) {
  const std::optional<ProgressReport::Style> shown = progressStyle(opt.progress);
  if (shown || opt.requireConvergence)
    progress.emplace(
        shown.value_or(ProgressReport::Style::Silent), std::max(par.jw2 - par.jw1 + 1, 0),
        [](std::string_view s) { std::fwrite(s.data(), 1, s.size(), stderr); },
        [start] { return secondsSince(start); }, terminalWidth());
}

/// The frequency loop of a run or a survey: from where the checkpoint `saved` left it when
/// resuming, keeping checkpoints after finished frequencies, with the run's progress report
/// (finished when the loop is; `progress` stays set for the summary).
void runFrequencies(FrequencyLoop& loop, std::span<rec::OutFile* const> logs,
                    std::optional<SavedRun>& saved, const RunFingerprint& fingerprint,
                    const RunParams& par, const Options& opt, Clock::time_point start,
                    std::optional<ProgressReport>& progress, const MaterialModel& materials,
                    const Vec1<Cx>& sour) {
  if (saved) {
    saved->restore(par, loop);
    saved.reset();
  }
  CheckpointWriter checkpoints(fingerprint, par);
  stopIfInterrupted("before the first frequency");
  // Under mpirun the other ranks get their work; no checkpoint is kept (it holds the
  // state of one process).
  std::optional<SharedFrequencies> shared;
  if (sharedRun() && !distributedRun(opt)) {
    shared.emplace(par, materials, sour, loop.shotList(), opt);
    loop.shareWith(&*shared);
  }
  makeProgress(progress, opt, par, start);
  if (progress && loop.finished().last != 0) progress->resumeAfter(loop.finished().outcomes);
  loop.run(logs, progress ? &*progress : nullptr, [&](int) {
    if (!shared) checkpoints.frequencyDone(loop);
  });
  loop.shareWith(nullptr);
  if (progress) progress->finish();
}

/// What the progress report of a finished loop tells the end of the run, the summary
/// shown when progress is.
RunEnd loopEnd(const Options& opt, const RunParams& par, const std::optional<ProgressReport>& progress,
               Clock::time_point start, const std::string& files) {
  RunEnd end;
  if (!progress) return end;
  const PassLimits limits = passLimits(par);
  for (const FrequencyOutcome& f : progress->outcomes()) end.unconverged += f.converged ? 0 : 1;
  end.solved = static_cast<int>(progress->outcomes().size());
  end.shortfall = shortfallText(progress->outcomes(), limits);
  if (progressStyle(opt.progress)) {
    std::fputs(summaryText(progress->outcomes(), {secondsSince(start), cpuSeconds()},
                           std::filesystem::current_path().string(), files, &limits)
                   .c_str(),
               stderr);
    if (par.damping != 0.0) std::fprintf(stderr, "  %s\n", dampingText(par.damping).c_str());
    end.summarised = true;
  }
  return end;
}

/// The material model of a run: the moduli of the property grid of a model file, formed
/// in the storage of its datasets and found usable over the band (refused otherwise, the
/// reason ending `log`), the grid's quality factors then given up; without a model file
/// the tables `mat`.
std::unique_ptr<MaterialModel> materialModel(std::optional<GriddedInput>& model,
                                             const Materials& mat, const RunParams& par,
                                             const Options& opt, rec::OutFile& log) {
  if (!model) return std::make_unique<TabledMaterials>(mat);
  auto grid = std::make_unique<GridMaterials>(std::move(model->grid));
  refuseWithoutNormalRoots(
      *grid, model->grid, opt.modelFile,
      {frequencyOfIndex(par.jw1, par.delf), frequencyOfIndex(par.jw2, par.delf)}, log);
  model.reset();
  return grid;
}

/// The strip iteration of the run's grid with the layer of --pml around it, for `shots`
/// shots: the extended grid's medium carries the layer's stretches, the plain exchange
/// does not converge there, and every frequency runs GMRES on the carried state
/// (Acceleration::krylov, on the scalar kernels).
std::unique_ptr<FrequencySolver> layeredIteration(const RunParams& par,
                                                  const MaterialModel& materials,
                                                  const Options& opt, int shots) {
  const StripGrid grid{par.nx, par.ny, par.h, par.freeSurface};
  return std::make_unique<LayeredSolver>(
      grid, materials, matchedLayer(par, opt.pml),
      [&](const StripGrid& g, const MaterialModel& m) {
        const int threads = opt.threads > 0 ? opt.threads : defaultThreads(g.nx, g.ny);
        return std::unique_ptr<FrequencySolver>(std::make_unique<StripIteration>(
            g, m,
            StripIterationSettings{threads, Kernels::scalar, Acceleration::krylov, shots,
                                   par.damping}));
      });
}

/// The frequency loop of a run: with `solver` when the run has one (the direct solver, or
/// the strip iteration of a grid with a layer), the strip iteration over `materials`
/// otherwise.  `sources` are a survey's shots (empty: the
/// deck's one).
FrequencyLoop& makeLoop(std::optional<FrequencyLoop>& loop, const RunParams& par,
                        const MaterialModel& materials, const Vec1<Cx>& sour,
                        FrequencySolver* solver, const Options& opt,
                        std::vector<ShotSource> sources = {}) {
  if (solver != nullptr)
    loop.emplace(par, sour, *solver, opt.threads, std::move(sources));
  else
    loop.emplace(par, materials, sour, opt.threads, Kernels::lanes, opt.acceleration,
                 std::move(sources));
  return *loop;
}

/// The file descriptors a survey keeps free of its shots' logs: the input files, a
/// shot's result file and list being written, the libraries' own.
constexpr long kReservedDescriptors = 64;

/// How many shots' logs a survey of `shots` shots can keep open, as a run's log is, within
/// the process's limit of open files: the logs of the later shots are held in memory and
/// put in place at the end.
long liveShotLogs(long shots) {
  rlimit lim{};
  if (getrlimit(RLIMIT_NOFILE, &lim) != 0 || lim.rlim_cur == RLIM_INFINITY) return shots;
  long open = 0;
  std::error_code ec;
  for (auto it = std::filesystem::directory_iterator("/proc/self/fd", ec);
       !ec && it != std::filesystem::directory_iterator(); it.increment(ec))
    ++open;
  const long room = static_cast<long>(lim.rlim_cur) - open - kReservedDescriptors;
  return std::clamp(room, 0L, shots);
}

/// The log line of a failure whose thrower did not log it.
std::string failureLine(const std::exception& e) {
#if defined(STRIPWAVE_DIRECT)
  if (const auto* d = dynamic_cast<const DirectSolverError*>(&e);
      d != nullptr && d->kind == DirectSolverError::Kind::noMemory)
    return std::string("not enough memory: ") + d->what();
#endif
  if (dynamic_cast<const std::bad_alloc*>(&e) != nullptr)
    return "not enough memory for this grid";
  return e.what();
}

/// Ends the log of a run that fails with `line`, as far as the log can still be written.
void endLog(rec::OutFile& log, const std::string& line) {
  try {
    log.writeList({std::string_view(line)});
    log.commit();
  } catch (const std::exception&) {
    // The failure itself is what the run reports.
  }
}

/// The positions of a survey's shots against the grid of the deck, before any file is
/// written: the deck's grid entries are read with their echo to a log that is dropped.
void checkSurveyGrid(const std::vector<Shot>& shots, const Options& opt) {
  rec::InFile deck;
  deck.open(files::kDeck);
  rec::OutFile scratch;
  scratch.openForCommit(".survey-check");
  DeckHeader hdr;
  RunParams par;
  readGrid(deck, scratch, hdr, par, opt.liftLimits ? Limits::lifted() : Limits{});
  readDomain(deck, scratch, hdr, par);
  checkShotsInGrid(shots, opt.shotsFile, par.nx, par.ny, par.h);
}

/// The damping a of a run with --complex-frequency, from the deck's header (read with its
/// echo to a log that is dropped) before any file is written: --damping's value, else
/// pi delf.  Refused (UsageError) when the gain exp(a t) that undoes it overflows at the
/// end of the record or at a snapshot time.  Nothing without the option, or when the
/// header cannot be read: the run's own reading then stops at the same place.
std::optional<double> runDamping(const Options& opt) {
  if (!opt.complexFrequency) return std::nullopt;
  DeckHeader hdr;
  RunParams par;
  try {
    rec::InFile deck;
    deck.open(files::kDeck);
    rec::OutFile scratch;
    scratch.openForCommit(".damping-check");
    const Limits limits = opt.liftLimits ? Limits::lifted() : Limits{};
    readGrid(deck, scratch, hdr, par, limits);
    readDomain(deck, scratch, hdr, par);
    readHeader(deck, scratch, hdr, par, limits);
  } catch (const Stop&) {
    return std::nullopt;
  } catch (const InputError&) {
    return std::nullopt;
  } catch (const rec::IoError&) {
    return std::nullopt;
  }
  const double delf = hdr.f4 / hdr.npf;
  const double a = opt.damping.value_or(kPi * delf);
  const std::string option =
      opt.damping ? "--damping " + realText(a)
                  : "--complex-frequency (a = pi delf = " + realText(a) + ")";
  const auto refuse = [&](const std::string& where, double t) {
    throw UsageError{option + ": the gain exp(a t) that undoes the damping overflows at " +
                     where + " (a t = " + realText(a * t) +
                     ", at most about 709); give a smaller --damping"};
  };
  if (!std::isfinite(std::exp(a * hdr.stime)))
    refuse("the end of the record, stime = " + realText(hdr.stime), hdr.stime);
  for (int k = 1; k <= par.nsnapt && k < static_cast<int>(hdr.tsnap.size()); ++k)
    if (!std::isfinite(std::exp(a * hdr.tsnap[k])))
      refuse("snapshot " + std::to_string(k) + ", time " + realText(hdr.tsnap[k]), hdr.tsnap[k]);
  return a;
}

/// The warning about a record that outlasts the period of the frequency sampling; none at
/// complex frequencies, which damp what folds back.
void warnOfWrapAround(const RecordSpan& record, const RunParams& par) {
  if (par.damping != 0.0) return;
  if (const std::optional<WrapAround> w = wrapAround(record)) warn(wrapAroundText(record, *w));
}

/// A run without --resume starts afresh: the checkpoint of an interrupted run in the
/// directory, which --resume would have continued, is replaced after its first frequency.
void warnOfReplacedCheckpoint(const Options& opt) {
  if (!opt.resume && access(files::kCheckpoint, F_OK) == 0)
    warn(std::string("this directory holds the checkpoint ") + files::kCheckpoint +
         " of an interrupted run; this run starts afresh and replaces it ('stripwave --resume' "
         "would have continued the interrupted run)");
}

/// Makes the directory of a shot, or takes the one there.
void makeShotDirectory(const std::string& dir) {
  if (::mkdir(dir.c_str(), 0777) == 0) return;
  const int err = errno;
  struct stat st {};
  if (err == EEXIST && lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return;
  throw rec::IoError("cannot make the shot directory " + dir + ": " +
                     (err == EEXIST ? "something that is not a directory is there"
                                    : std::string(std::strerror(err))));
}

/// The part of the survey that --shot-range selects of `shots`, the whole shots file, with
/// the digests of its input and build; nothing without the option.  A range past the end
/// of the file raises InputError.
std::optional<SurveyPart> surveyPart(const std::vector<Shot>& shots, const Options& opt) {
  if (!opt.shotRange) return std::nullopt;
  const int total = static_cast<int>(shots.size());
  if (opt.shotRange->last > total)
    throw InputError("--shot-range " + std::to_string(opt.shotRange->first) + ":" +
                     std::to_string(opt.shotRange->last) + ": the shots file " + opt.shotsFile +
                     " holds " + std::to_string(total) + (total == 1 ? " shot" : " shots") +
                     " (numbered 1 to " + std::to_string(total) + ")");
  // The parts of one survey share the fingerprint of the whole: the range left out.
  Options whole = opt;
  whole.shotRange.reset();
  const RunFingerprint fp = fingerprintRun(whole);
  return SurveyPart{opt.shotRange->first, opt.shotRange->last, total, fp.input, fp.build};
}

/// One shot of a survey while it runs: its log, its parameters (its source's) and its
/// result files.
struct ShotRun {
  std::string dir;
  rec::OutFile log;
  RunParams par;
  TimeDomainFiles results;
};

/// The text of records as the log holds them, for a message: without the leading blank
/// and the line ends.
std::string recordsText(const std::string& records) {
  const std::size_t first = records.find_first_not_of(" \n");
  if (first == std::string::npos) return {};
  std::string text = records.substr(first);
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

/// A survey: the input is read once per shot, into the shot's directory (its log and
/// wavelet files, exactly as a run of its own would write them); the frequency loop
/// solves every shot at once; each shot's time-domain files are written and put in place
/// on their own, so that a shot that cannot be written leaves the others complete.  The
/// shots, once listed in kSurveyList, are also given to `listed` as the list says them.
RunEnd simulateSurvey(const Options& opt, Clock::time_point start,
                      std::vector<ShotReport>& listed) {
  static const rec::Layout kTiempo("(/1x,'tiempo=',g20.8)");
  std::vector<Shot> shotList = readShotsFile(opt.shotsFile);
  // Every shot of the file is checked, so that each part of a survey refuses what the
  // survey in one run would.
  checkSurveyGrid(shotList, opt);
  const std::optional<SurveyPart> part = surveyPart(shotList, opt);
  if (part)
    shotList = std::vector<Shot>(shotList.begin() + (part->first - 1),
                                 shotList.begin() + part->last);
  const int firstNumber = part ? part->first : 1;
  const std::optional<double> damping = runDamping(opt);
  // As a run of one shot: a checkpoint to resume from is checked before any file is opened.
  const RunFingerprint fingerprint = fingerprintRun(opt);
  std::optional<SavedRun> saved;
  if (opt.resume) saved.emplace(fingerprint);
  warnOfReplacedCheckpoint(opt);
  const long count = static_cast<long>(shotList.size());
  const bool gridded = !opt.modelFile.empty();
  const InputLimits lim = inputLimits(opt, count);
  // The shots past those whose logs can stay open write theirs at the end.
  const long live = liveShotLogs(count);
  float cpuTotal = 0.0f;
  cpuTimeLap(cpuTotal);

  std::vector<ShotReport> reports(shotList.size());
  for (std::size_t k = 0; k < shotList.size(); ++k) {
    reports[k].shot = shotList[k];
    reports[k].number = firstNumber + static_cast<int>(k);
    reports[k].why = "the run did not finish";
  }
  const auto listSurvey = [&] {
    writeSurveyList(reports, opt.shotsFile, part);
    listed = reports;
  };
  std::vector<ShotRun> runs(shotList.size());
  Materials mat;
  Vec1<Cx> sour(kMaxFreqs);
  std::optional<GriddedInput> model;
  for (std::size_t k = 0; k < shotList.size(); ++k) {
    ShotRun& r = runs[k];
    r.dir = shotDirectory(reports[k].number);
    makeShotDirectory(r.dir);
    InputFiles in;
    openRunFiles(in, r.log, gridded ? MaterialInput::modelFile : MaterialInput::tables, r.dir,
                 static_cast<long>(k) < live ? LogWriting::live : LogWriting::held);
    const ShotInput shot{r.dir, SourceOverride{shotList[k].x, shotList[k].y, shotList[k].kdel}};
    // The first shot's materials and spectrum serve all: every shot reads the same input.
    Materials shotMat;
    Vec1<Cx> shotSour(kMaxFreqs);
    std::optional<GriddedInput> shotModel;
    if (gridded) shotModel.emplace(GriddedInput{opt.modelFile, {}});
    r.par.damping = damping.value_or(0.0);
    RecordSpan record;
    readInput(in, r.log, r.par, k == 0 ? mat : shotMat, k == 0 ? sour : shotSour, lim,
              shotModel ? &*shotModel : nullptr, &shot, &record);
    SW_CHECK(!opt.complexFrequency || damping, "the damping known before the input is read");
    if (r.par.damping != 0.0) r.log.writeList({std::string_view(dampingText(r.par.damping))});
    if (k == 0) warnOfWrapAround(record, r.par);
    r.par.freeSurface = opt.freeSurface;
    r.log.flush();
    if (k == 0) model = std::move(shotModel);
    reports[k].kdel = r.par.kdel;
    reports[k].jsou = r.par.jsou;
    reports[k].ksou = r.par.ksou;
    r.results = openTimeDomainFiles(r.par, r.dir);
  }
  listSurvey();
  const RunParams& par = runs[0].par;
  if (par.kdel < 1 || par.kdel > 5) warnNoSource(par.kdel);

  std::vector<ShotSource> sources;
  std::vector<rec::OutFile*> logs;
  for (ShotRun& r : runs) {
    sources.push_back(ShotSource{r.par.kdel, r.par.jsou, r.par.ksou});
    logs.push_back(&r.log);
  }
  // A survey that stops before the results of shot `from` ends the log of that shot and
  // of every later one alike, with `records` (what a refusal wrote to the first shot's
  // log) or else the line `why`, and lists them as missing for that reason.  A log that
  // cannot be ended is left as it is.
  const auto abandon = [&](const std::string& why, const std::string& records,
                           std::size_t from = 0) {
    for (std::size_t k = from; k < runs.size(); ++k) {
      try {
        if (records.empty())
          runs[k].log.writeList({std::string_view(why)});
        else if (k > 0)
          runs[k].log.writeText(records);
        runs[k].log.commit();
      } catch (const rec::IoError&) {
        // The shot is listed as missing all the same.
      }
      reports[k].why = records.empty() ? why : recordsText(records);
    }
    try {
      listSurvey();
    } catch (const rec::IoError&) {
      // The failure itself is what the run reports.
    }
    if (progressStyle(opt.progress))
      std::fputs(surveySummaryText(reports, std::filesystem::current_path().string(), part).c_str(),
                 stderr);
  };
  std::unique_ptr<MaterialModel> materials;
  std::unique_ptr<FrequencySolver> solver;  // the direct solver, or the iteration of a layer
  std::string refusal;  // what the refusals of the model or the solver log
  runs[0].log.copyRecordsTo(&refusal);
  try {
    materials = materialModel(model, mat, par, opt, runs[0].log);
    if (opt.solver == SolverKind::direct)
      solver = directSolver(par, *materials, opt.threads, static_cast<int>(sources.size()),
                            opt.pml, runs[0].log, opt);
    else if (opt.pml > 0)
      solver = layeredIteration(par, *materials, opt, static_cast<int>(sources.size()));
  } catch (const std::exception& e) {
    runs[0].log.copyRecordsTo(nullptr);
    abandon(failureLine(e), refusal);
    throw;
  }
  runs[0].log.copyRecordsTo(nullptr);
  std::optional<FrequencyLoop> loops;
  FrequencyLoop& loop =
      makeLoop(loops, par, *materials, sour, solver.get(), opt, sources);
  std::optional<ProgressReport> progress;
  try {
    runFrequencies(loop, logs, saved, fingerprint, par, opt, start, progress, *materials, sour);
  } catch (const Interrupted& stop) {
    if (progress) progress->finish();
    abandon("interrupted by " + signalName(stop.signal) + " " + stop.where, {});
    throw;
  } catch (const std::exception& e) {
    if (progress) progress->finish();
    abandon(failureLine(e), {});
    throw;
  }

  const double cpu = cpuTimeLap(cpuTotal);
  const std::string rankMemory = distributedMemoryText(solver.get(), opt);
  std::optional<rec::IoError> firstFailure;
  std::size_t k = 0;
  try {
    for (; k < runs.size(); ++k) {
      ShotRun& r = runs[k];
      ShotReport& report = reports[k];
      try {
        writeTimeDomainFiles(r.results, r.par, loop.accumulators(static_cast<int>(k)));
        removeStaleSnapshots(r.par.nsnapt, r.dir);
        if (!rankMemory.empty()) r.log.writeList({std::string_view(rankMemory)});
        r.log.write(kTiempo, {cpu});
        r.log.commit();
        report.nonFiniteAt = loop.firstNonFinite(static_cast<int>(k));
        report.state = report.nonFiniteAt ? ShotState::nonFinite : ShotState::complete;
        report.why.clear();
      } catch (const rec::IoError& e) {
        report.why = e.what();
        if (!firstFailure) firstFailure = e;
      }
    }
  } catch (const Interrupted& stop) {
    // The shots written so far stay complete.
    abandon("interrupted by " + signalName(stop.signal) + " " + stop.where, {}, k);
    throw;
  } catch (const std::exception& e) {
    abandon(failureLine(e), {}, k);
    throw;
  }
  listSurvey();
  // Kept while a shot's files are missing: --resume writes them without solving again.
  if (!firstFailure) removeCheckpoint();
  RunEnd end = loopEnd(opt, par, progress, start,
                       std::to_string(runs.size()) + " shot directories and " + kSurveyList);
  if (end.summarised && !rankMemory.empty()) std::fprintf(stderr, "  %s\n", rankMemory.c_str());
  if (progressStyle(opt.progress))
    std::fputs(surveySummaryText(reports, std::filesystem::current_path().string(), part).c_str(),
               stderr);
  end.shots = std::move(reports);
  for (const ShotReport& s : end.shots)
    if (s.nonFiniteAt && (!end.nonFinite || *s.nonFiniteAt > *end.nonFinite))
      end.nonFinite = s.nonFiniteAt;
  if (firstFailure) throw *firstFailure;
  return end;
}

/// The run proper: start-up, the frequency loop, the time-domain output.
RunEnd simulate(const Options& opt, Clock::time_point start) {
  static const rec::Layout kTiempo("(/1x,'tiempo=',g20.8)");

  // A checkpoint to resume from is checked whole before any file is opened: a refused
  // one leaves the directory as it was.
  const std::optional<double> damping = runDamping(opt);
  const RunFingerprint fingerprint = fingerprintRun(opt);
  std::optional<SavedRun> saved;
  if (opt.resume) saved.emplace(fingerprint);
  warnOfReplacedCheckpoint(opt);

  InputFiles in;
  rec::OutFile log;
  const bool gridded = !opt.modelFile.empty();
  openRunFiles(in, log, gridded ? MaterialInput::modelFile : MaterialInput::tables);
  float cpuTotal = 0.0f;
  cpuTimeLap(cpuTotal);

  try {
    RunParams par;
    Materials mat;
    Vec1<Cx> sour(kMaxFreqs);
    const InputLimits lim = inputLimits(opt, 1);
    std::optional<GriddedInput> model;
    if (gridded) model.emplace(GriddedInput{opt.modelFile, {}});
    par.damping = damping.value_or(0.0);
    RecordSpan record;
    readInput(in, log, par, mat, sour, lim, model ? &*model : nullptr, nullptr, &record);
    SW_CHECK(!opt.complexFrequency || damping, "the damping known before the input is read");
    if (par.damping != 0.0) log.writeList({std::string_view(dampingText(par.damping))});
    warnOfWrapAround(record, par);
    par.freeSurface = opt.freeSurface;

    if (par.kdel < 1 || par.kdel > 5) warnNoSource(par.kdel);

    const std::unique_ptr<MaterialModel> materials = materialModel(model, mat, par, opt, log);
    // The result files are opened before the work: a name that cannot be replaced ends
    // the run before it is done.
    TimeDomainFiles results = openTimeDomainFiles(par);
    std::unique_ptr<FrequencySolver> solver;  // the direct solver, or the iteration of a layer
    if (opt.solver == SolverKind::direct)
      solver = directSolver(par, *materials, opt.threads, 1, opt.pml, log, opt);
    else if (opt.pml > 0)
      solver = layeredIteration(par, *materials, opt, 1);
    std::optional<FrequencyLoop> loops;
    FrequencyLoop& loop = makeLoop(loops, par, *materials, sour, solver.get(), opt);
    // Ended (its in-place line closed) before any later message, interrupted or not.
    // Kept without being shown when only the outcomes are wanted.
    std::optional<ProgressReport> progress;
    rec::OutFile* const logs[1] = {&log};
    runFrequencies(loop, logs, saved, fingerprint, par, opt, start, progress, *materials, sour);

    writeTimeDomainFiles(results, par, loop.accumulators());
    reportRemoved(removeStaleSnapshots(par.nsnapt),
                  "the snapshot files of an earlier run with more snapshots");
    const std::string rankMemory = distributedMemoryText(solver.get(), opt);
    if (!rankMemory.empty()) log.writeList({std::string_view(rankMemory)});
    log.write(kTiempo, {cpuTimeLap(cpuTotal)});
    log.commit();
    removeCheckpoint();
    RunEnd end = loopEnd(opt, par, progress, start, filesText(par));
    if (end.summarised && !rankMemory.empty()) std::fprintf(stderr, "  %s\n", rankMemory.c_str());
    end.nonFinite = loop.firstNonFinite();
    return end;
  } catch (const Interrupted& stop) {
    const std::string line = "interrupted by " + signalName(stop.signal) + " " + stop.where;
    log.writeList({std::string_view(line)});
    log.commit();
    throw;
  } catch (const std::bad_alloc& e) {
    endLog(log, failureLine(e));
    throw;
#if defined(STRIPWAVE_DIRECT)
  } catch (const DirectSolverError& e) {
    endLog(log, failureLine(e));
    throw;
#endif
  }
}

/// The run in the run directory and its exit status, with its message on the standard
/// error stream; the shots of a survey as last listed go to `listed`.
int runInDirectory(const Options& opt, Clock::time_point start,
                   std::vector<ShotReport>& listed) {
  try {
    const RunDirectoryLock lock;
    reportRemoved(lock.removedTemporaries(), "temporary files of an interrupted run");
    const RunEnd end =
        opt.shotsFile.empty() ? simulate(opt, start) : simulateSurvey(opt, start, listed);
    // A signal that came while the result files were put in place waited for the last of
    // them: the files are this run's whole set, but the run was asked to stop.
    if (const int signal = interruptSignal(); signal != 0) {
      std::fprintf(stderr,
                   "stripwave: interrupted by %s while the result files were put in place; "
                   "they were all written and are this run's\n",
                   signalName(signal).c_str());
      return 128 + signal;
    }
    if (end.nonFinite && !end.shots.empty()) {
      std::fprintf(stderr,
                   "stripwave: the edge fields of %s became non-finite (the first at frequency "
                   "index %d; a zero pivot or a stiffness that is not positive definite); their "
                   "files were written but do not hold a meaningful result (%s)\n",
                   shotNumbers(end.shots, ShotState::nonFinite).c_str(), *end.nonFinite,
                   kSurveyList);
      return kExitNonFinite;
    }
    if (end.nonFinite) {
      std::fprintf(stderr,
                   "stripwave: the edge fields became non-finite at frequency index %d "
                   "(a zero pivot or a stiffness that is not positive definite); the output "
                   "files were written but do not hold a meaningful result\n",
                   *end.nonFinite);
      return kExitNonFinite;
    }
    if (opt.requireConvergence && end.unconverged > 0) {
      std::fprintf(stderr,
                   "stripwave: %d of %d frequencies did not converge and "
                   "--require-convergence was given (status %d; the files were written)\n%s",
                   end.unconverged, end.solved, kExitUnconverged,
                   end.summarised ? "" : end.shortfall.c_str());
      return kExitUnconverged;
    }
    return 0;
  } catch (const Stop& stop) {
    if (!stop.code) {
      std::fprintf(stderr, "stripwave: input error: %s\n", stop.reason.c_str());
      return kExitBadInput;
    }
    std::fprintf(stderr, "STOP %d\nstripwave: %s\n", *stop.code, stop.reason.c_str());
    return *stop.code & 0xff;
  } catch (const rec::IoError& e) {
    std::fprintf(stderr, "stripwave: %s\n", e.what());
    return kExitFileError;
  } catch (const InputError& e) {
    std::fprintf(stderr, "stripwave: input error: %s\n", e.what());
    return kExitBadInput;
  } catch (const Interrupted& stop) {
    const bool kept = access(files::kCheckpoint, F_OK) == 0;
    std::fprintf(stderr,
                 "stripwave: interrupted by %s %s; the snapshot and trace files were not "
                 "written (files of an earlier run are left as they were)%s\n",
                 signalName(stop.signal).c_str(), stop.where.c_str(),
                 kept ? "; 'stripwave --resume' continues from the checkpoint" : "");
    return 128 + stop.signal;
  } catch (const UsageError& e) {
    std::fputs(usageErrorText(e.reason).c_str(), stderr);
    return kExitUsage;
  } catch (const CheckpointRefused& e) {
    std::fprintf(stderr, "stripwave: cannot resume: %s\n", e.reason.c_str());
    return e.status;
  } catch (const RunDirectoryBusy&) {
    std::fprintf(stderr,
                 "stripwave: another stripwave run is using this directory; not started "
                 "(run in another directory, or wait for the first run to end)\n");
    return kExitBusy;
  } catch (const NoMemory& e) {
    std::fprintf(stderr, "stripwave: not enough memory: %s\n", e.what());
    return kExitNoMemory;
#if defined(STRIPWAVE_DIRECT)
  } catch (const DirectSolverError& e) {
    switch (e.kind) {
      case DirectSolverError::Kind::noMemory:
        std::fprintf(stderr, "stripwave: not enough memory: %s\n", e.what());
        return kExitNoMemory;
      case DirectSolverError::Kind::singular:
        std::fprintf(stderr, "stripwave: %s; no snapshot or trace file was written\n", e.what());
        return kExitNonFinite;
      case DirectSolverError::Kind::failed:
        break;
    }
    std::fprintf(stderr, "stripwave: %s\n", e.what());
    return kExitBadInput;
#endif
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "stripwave: not enough memory for this grid\n");
    return kExitNoMemory;
  }
}

}  // namespace

int runMain(const Options& opt) {
  const Clock::time_point start = Clock::now();
  installInterruptHandlers();
  if (opt.runDir != "." && chdir(opt.runDir.c_str()) != 0) {
    std::fprintf(stderr, "stripwave: cannot enter the run directory %s: %s\n", opt.runDir.c_str(),
                 std::strerror(errno));
    return kExitFileError;
  }
  std::vector<ShotReport> listed;
  const int status = runInDirectory(opt, start, listed);
  // A survey that failed says which shots have no files.
  if (status != 0 &&
      std::any_of(listed.begin(), listed.end(),
                  [](const ShotReport& s) { return s.state == ShotState::missing; }))
    std::fprintf(stderr, "stripwave: the files of %s are missing (%s)\n",
                 shotNumbers(listed, ShotState::missing).c_str(), kSurveyList);
  return status;
}

}  // namespace sw

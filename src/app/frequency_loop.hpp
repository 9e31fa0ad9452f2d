#pragma once
/// The loop over frequencies: the log lines of each frequency, its solve by a frequency
/// solver, and the accumulation of its fields.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <span>
#include <vector>

#include "app/progress.hpp"
#include "core/complex.hpp"
#include "core/grid.hpp"
#include "materials/material_model.hpp"
#include "model/run_params.hpp"
#include "output/accumulators.hpp"
#include "records/out_file.hpp"
#include "solvers/frequency_solver.hpp"
#include "solvers/strip_iteration.hpp"

namespace sw {

/// Where a shot's source is: its pattern (kdel) and element.
struct ShotSource {
  int kdel = 0;
  int jsou = 0, ksou = 0;
};

/// What a loop keeps of the frequencies it has finished, besides the accumulators and
/// the solver's carried state: enough to continue after the last one as if never stopped.
struct FinishedFrequencies {
  int last = 0;  ///< the last frequency index finished (they go from jw2 down); 0: none
  std::vector<FrequencyOutcome> outcomes;  ///< as the progress report is told, in order
  /// Per shot: the log records of the finished frequencies (after the band line) and the
  /// first frequency index after which its fields were not all finite.
  std::vector<std::string> logs;
  std::vector<std::optional<int>> firstNonFinite;
};

/// A pass an iterative solver reported, as the log records it.
struct PassRecord {
  int shot = 0, iter = 0;
  double relerr = 0.0, errden = 0.0;
};

/// Frequencies solved by other processes (the ranks of mpirun): which process solves a
/// frequency, and what it sent back.
class RemoteFrequencies {
 public:
  virtual ~RemoteFrequencies() = default;
  /// The rank that solves frequency index jw (0: this process).
  virtual int owner(int jw) const = 0;
  /// The outcome of every shot of frequency jw, the passes its log records (every 100th)
  /// and every shot's displacements.  Throws what the solve threw there.
  virtual void receive(int jw, std::span<SolveOutcome> outcomes, std::vector<PassRecord>& passes,
                       std::vector<EdgeFields>& fields) = 0;
};

/// The frequencies of a run, solved one after another from the highest down, for one
/// shot or for the shots of a survey together (each frequency factored once for all).
class FrequencyLoop {
 public:
  /// With the strip iteration: `threads` strips are assembled and solved at a time (0:
  /// `defaultThreads`); the results do not depend on it, nor on `kernels`.  `sour` is the
  /// source spectrum, 1 .. jw2.  `acceleration` says which frequencies the accelerated
  /// iteration mixes.
  /// `shots` are the sources of a survey, one accumulation each; empty: the deck's one.
  FrequencyLoop(const RunParams& par, const MaterialModel& materials, const Vec1<Cx>& sour,
                int threads = 0, Kernels kernels = Kernels::lanes,
                Acceleration acceleration = Acceleration::off,
                std::vector<ShotSource> shots = {});
  /// With another solver of the run's grid, made for as many shots as `shots` holds
  /// (empty: the deck's one shot).
  FrequencyLoop(const RunParams& par, const Vec1<Cx>& sour, FrequencySolver& solver,
                int threads = 0, std::vector<ShotSource> shots = {});

  /// Called after each finished frequency, once it is logged and accumulated.
  using FrequencyDone = std::function<void(int jw)>;

  /// Logs the band, then solves jw = jw2 down to jw1, each starting from the fields
  /// left by the previous one.  The log is flushed before the first frequency and after
  /// each one; `progress`, if given, is told of every frequency and pass, and `done` of
  /// every frequency finished.  After resume() the log records of the frequencies
  /// finished before are written as they were, and the loop goes on with the next one.
  void run(rec::OutFile& log, ProgressReport* progress = nullptr, const FrequencyDone& done = {});
  /// The same for every shot, logs[k] the log of shot k.  The progress report is told of
  /// each frequency once: the most passes, the largest change, converged when every
  /// shot converged.
  void run(std::span<rec::OutFile* const> logs, ProgressReport* progress = nullptr,
           const FrequencyDone& done = {});

  /// Solves frequency index jw and adds its fields to the accumulators: the log lines of
  /// the frequency, then factor, solve and accumulate.
  SolveOutcome solveFrequency(int jw, rec::OutFile& log, ProgressReport* progress = nullptr);
  /// The same for every shot; returns the outcome the progress report is told of.
  SolveOutcome solveFrequency(int jw, std::span<rec::OutFile* const> logs,
                              ProgressReport* progress = nullptr);

  int shots() const { return static_cast<int>(shots_.size()); }
  const std::vector<ShotSource>& shotList() const { return shots_; }
  /// The frequencies that `remote` says are solved elsewhere are received from it; those
  /// solved here start from the warm start of the frequency before only when it was solved
  /// here too, from the solver's first state otherwise.
  void shareWith(RemoteFrequencies* remote) { remote_ = remote; }
  const Accumulators& accumulators(int shot = 0) const { return acc_[shot]; }
  /// The frequencies run() has finished.
  const FinishedFrequencies& finished() const { return finished_; }
  /// Continues a run that finished the frequencies of `done` and was stopped: run()
  /// starts after done.last.  The caller restores the accumulators (restoredAccumulators)
  /// and the solver's carried state (FrequencySolver::restoreCarried) as they were then.
  void resume(FinishedFrequencies done);
  Accumulators& restoredAccumulators(int shot) { return acc_[shot]; }
  /// The sixteen edge arrays of the current solution.
  const EdgeFields& fields(int shot = 0) { return solver_.fields(shot); }
  FrequencySolver& solver() { return solver_; }
  /// The first frequency index after which the edge fields of a shot were not all finite.
  std::optional<int> firstNonFinite(int shot = 0) const { return firstNonFinite_[shot]; }

 private:
  const RunParams& par_;
  const Vec1<Cx>& sour_;
  int threads_;
  std::vector<ShotSource> shots_;
  std::unique_ptr<FrequencySolver> own_;  ///< the strip iteration, when made here
  FrequencySolver& solver_;
  std::vector<Accumulators> acc_;
  std::vector<std::optional<int>> firstNonFinite_;
  std::vector<PointSource> sources_;    ///< of the frequency being solved, per shot
  std::vector<SolveOutcome> outcomes_;  ///< per shot
  FinishedFrequencies finished_;
  RemoteFrequencies* remote_ = nullptr;
  int lastLocal_ = 0;                        ///< the last frequency solved here (0: none)
  std::vector<unsigned char> firstCarried_;  ///< the solver's state before any frequency
  std::vector<PassRecord> passes_;           ///< of a frequency received
  std::vector<EdgeFields> received_;         ///< per shot, of a frequency received
};

/// The shots of a survey whose sources are given, or the deck's one.
std::vector<ShotSource> shotSources(const RunParams& par, std::vector<ShotSource> shots);

/// Threads for a grid of nx by ny elements: one below 4096 elements, where a pass is
/// too short to share out, otherwise as many as OpenMP offers (OMP_NUM_THREADS).
int defaultThreads(int nx, int ny);

/// The convergence line of a frequency's iteration, the "NO convergence" line after the
/// last pass, or the residual line of a direct solve.
void logOutcome(int jw, const SolveOutcome& outcome, rec::OutFile& log);

/// True when every displacement of the elements is finite.
bool fieldsFinite(const EdgeFields& f);

}  // namespace sw

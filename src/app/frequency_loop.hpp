#pragma once
/// The loop over frequencies: the log lines of each frequency, its solve by a frequency
/// solver, and the accumulation of its fields.

#include <memory>
#include <optional>

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

/// The frequencies of a run, solved one after another from the highest down.
class FrequencyLoop {
 public:
  /// With the strip iteration: `threads` strips are assembled and solved at a time (0:
  /// `defaultThreads`); the results do not depend on it, nor on `kernels`.  `sour` is the
  /// source spectrum, 1 .. jw2.  `acceleration` says which frequencies the accelerated
  /// iteration mixes.
  FrequencyLoop(const RunParams& par, const MaterialModel& materials, const Vec1<Cx>& sour,
                int threads = 0, Kernels kernels = Kernels::lanes,
                Acceleration acceleration = Acceleration::off);
  /// With another solver of the run's grid, for one shot.
  FrequencyLoop(const RunParams& par, const Vec1<Cx>& sour, FrequencySolver& solver,
                int threads = 0);

  /// Logs the band, then solves jw = jw2 down to jw1, each starting from the fields
  /// left by the previous one.  The log is flushed before the first frequency and after
  /// each one; `progress`, if given, is told of every frequency and pass.
  void run(rec::OutFile& log, ProgressReport* progress = nullptr);

  /// Solves frequency index jw and adds its fields to the accumulators: the log lines of
  /// the frequency, then factor, solve and accumulate.
  SolveOutcome solveFrequency(int jw, rec::OutFile& log, ProgressReport* progress = nullptr);

  const Accumulators& accumulators() const { return acc_; }
  /// The sixteen edge arrays of the current solution.
  const EdgeFields& fields() { return solver_.fields(0); }
  FrequencySolver& solver() { return solver_; }
  /// The first frequency index after which the edge fields were not all finite.
  std::optional<int> firstNonFinite() const { return firstNonFinite_; }

 private:
  const RunParams& par_;
  const Vec1<Cx>& sour_;
  int threads_;
  std::unique_ptr<FrequencySolver> own_;  ///< the strip iteration, when made here
  FrequencySolver& solver_;
  Accumulators acc_;
  std::optional<int> firstNonFinite_;
};

/// Threads for a grid of nx by ny elements: one below 4096 elements, where a pass is
/// too short to share out, otherwise as many as OpenMP offers (OMP_NUM_THREADS).
int defaultThreads(int nx, int ny);

/// The convergence line of a frequency's iteration, the "NO convergence" line after the
/// last pass, or the residual line of a direct solve.
void logOutcome(int jw, const SolveOutcome& outcome, rec::OutFile& log);

/// True when every displacement of the elements is finite.
bool fieldsFinite(const EdgeFields& f);

}  // namespace sw

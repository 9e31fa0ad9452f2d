#pragma once
/// The loop over frequencies: per-element coefficients, interface parameters, strip
/// factorisation, the iteration, and the accumulation of each frequency's fields.

#include <optional>
#include <vector>

#include "driver/interface_state.hpp"
#include "driver/iterate.hpp"
#include "driver/params.hpp"
#include "driver/storage.hpp"
#include "iteration/anderson.hpp"
#include "iteration/gmres.hpp"
#include "iteration/source.hpp"
#include "records/out_file.hpp"
#include "strip/band.hpp"

namespace sw {

/// Opt-in acceleration of the iteration: Anderson mixing of the carried interface state.
struct AccelerationSettings {
  bool enabled = false;
  bool gmres = false;  ///< restarted GMRES instead of Anderson
  int gmresRestart = 20;
  AndersonSettings anderson{10, 1.0, 1e-10, 1e2};
  /// The iteration ends one plain pass after a plain pass changed the displacements by
  /// less than finishFactor reduc.
  double finishFactor = 0.3;
  /// Plain passes are tried once the carried state's relative residual, scaled to the
  /// change of a relaxed pass, is below finishAt finishFactor reduc.  The residual
  /// overstates the change of the displacements; the factor adapts from run to run of
  /// the frequency loop by the ratio seen when a try comes too early or succeeds at once.
  double finishAt = 30.0;
};

/// All storage of the frequency loop, sized once to the run's grid.
class FrequencyLoop {
 public:
  /// `threads` strips are assembled and solved at a time (0: `defaultThreads`); the
  /// results do not depend on it.
  FrequencyLoop(const RunParams& par, const Materials& mat, const Vec1<Cx>& sour, int threads = 0,
                const AccelerationSettings& accel = {});

  /// Logs the band, then solves jw = jw2 down to jw1, each starting from the fields
  /// left by the previous one.
  void run(rec::OutFile& log);

  /// Solves frequency index jw and adds its fields to the accumulators: the log lines of
  /// the frequency, then assemble, iterateFrequency and accumulate.
  void solveFrequency(int jw, rec::OutFile& log);

  /// Element coefficients, interface parameters and the factors of every strip.
  void assemble(int jw, double omega);
  /// The iteration passes of frequency index jw, from the fields left in place.
  IterationResult iterateFrequency(int jw, rec::OutFile& log);
  /// Adds the fields to the snapshots and receiver spectra; notes non-finite fields.
  void accumulate(int jw);
  /// One pass without relaxation: the odd strips' solves and multiplier updates, then the
  /// even strips'; without the source when `withSource` is false.
  void sweep(bool withSource = true);

  const Accumulators& accumulators() const { return acc_; }
  const EdgeFields& fields() const { return cur_; }
  /// Replaces the edge fields (the start of the next iteration).
  void setFields(const EdgeFields& f) { cur_ = f; }
  /// Bytes of the accelerated iteration's history (0 when it is off).
  std::size_t historyBytes() const {
    return mixer_ ? mixer_->historyBytes() : krylov_ ? krylov_->historyBytes() : 0;
  }
  /// Measure of every pass of the last accelerated iteration (negative: plain passes).
  const std::vector<double>& trace() const { return trace_; }
  /// The first frequency index after which the edge fields were not all finite.
  std::optional<int> firstNonFinite() const { return firstNonFinite_; }

 private:
  IterationResult iterateAccelerated(int jw, rec::OutFile& log);
  IterationResult iterateGmres(int jw, rec::OutFile& log);

  const RunParams& par_;
  const Materials& mat_;
  Source src_;
  Dofmap dofmap_;
  Indicators del_;
  Medium med_;
  Betas beta_;
  BoundaryRoots roots_;
  StripFactors factors_;
  std::vector<StripWork> work_;  ///< one workspace per thread
  EdgeFields cur_, prev_;
  Accumulators acc_;
  IterationControl ctl_;
  AccelerationSettings accel_;
  InterfaceState state_;
  std::optional<Anderson<Cx>> mixer_;
  std::optional<Gmres<Cx>> krylov_;
  std::vector<Cx> g_, tg_, scratch_;
  std::vector<double> trace_;
  double finishAt_ = 0.0;
  int jw_ = 0;
  std::optional<int> firstNonFinite_;
};

/// Threads for a grid of nx by ny elements: one below 4096 elements, where a pass is
/// too short to share out, otherwise as many as OpenMP offers (OMP_NUM_THREADS).
int defaultThreads(int nx, int ny);

/// True when every displacement of the elements 1..nx, 1..ny is finite.
bool fieldsFinite(const EdgeFields& f, int nx, int ny);

}  // namespace sw

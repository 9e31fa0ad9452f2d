#pragma once
/// The solution of one frequency's system: the strip iteration or a direct solve of the
/// whole grid, for one source or many.

#include <cstddef>
#include <optional>
#include <span>

#include "core/state_bytes.hpp"
#include "coupling/edge_fields.hpp"
#include "model/point_source.hpp"

namespace sw {

/// When an iterative solver stops: after maxit passes, or when the relative change of a
/// pass falls below reduc.
struct IterationLimits {
  int maxit = 0;
  double reduc = 0.0;
};

/// How the solve of one shot at one frequency ended.
struct SolveOutcome {
  bool converged = false;
  int passes = 0;                  ///< passes of an iteration (0 for a direct solve)
  double relerr = 0.0;             ///< last relative change of an iteration
  std::optional<double> residual;  ///< relative residual |A x - b| / |b| of a direct solve
};

/// Told of every pass an iterative solver makes for a shot (0-based): its number (1 on the
/// first pass of a frequency), the relative change and the denominator of the change
/// measure.  Solvers write no log; the application does, from these.
class SolveObserver {
 public:
  virtual ~SolveObserver() = default;
  virtual void pass(int shot, int iter, double relerr, double errden) = 0;
};

/// A solver of the frequency systems of one grid, for a fixed number of shots whose
/// state (warm starts) it keeps from one frequency to the next.
class FrequencySolver {
 public:
  virtual ~FrequencySolver() = default;
  /// Makes frequency index jw at angular frequency omega ready to solve: the medium of
  /// the material model, the interface and boundary terms, the factors.
  virtual void factor(int jw, double omega) = 0;
  /// Solves frequency jw (after factor) for the source of every shot, sources[k] for
  /// shot k, into outcomes[k].  Both spans hold one entry per shot.
  virtual void solve(int jw, std::span<const PointSource> sources, const IterationLimits& limits,
                     SolveObserver& observer, std::span<SolveOutcome> outcomes) = 0;
  /// The edge displacements of shot k left by the last solve.
  virtual const EdgeFields& fields(int shot) = 0;
  /// Shots the solver keeps state for.
  virtual int shots() const = 0;
  /// Bytes the solver holds beyond the grid's own arrays (histories, factors).
  virtual std::size_t bytes() const = 0;
  /// What the next frequencies depend on (the warm starts of every shot and what the
  /// iteration carries from one frequency to the next), as raw bytes: a solver given it
  /// back by restoreCarried solves the following frequencies bit for bit as this one
  /// would.  Both run between frequencies.
  virtual void saveCarried(StateWriter& out) const = 0;
  /// Takes back what saveCarried wrote; StateMismatch when it does not fit this solver.
  virtual void restoreCarried(StateReader& in) = 0;
};

}  // namespace sw

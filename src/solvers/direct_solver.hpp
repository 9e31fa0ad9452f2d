#pragma once
/// The whole-grid system of each frequency solved directly: assembled from the medium,
/// factored by MUMPS (the pattern analysed once for the run), every shot's source solved
/// at once.

#include <cstdint>
#include <memory>
#include <vector>

#include "materials/material_model.hpp"
#include "solvers/frequency_solver.hpp"
#include "solvers/mumps_solver.hpp"
#include "solvers/strip_iteration.hpp"
#include "solvers/whole_grid.hpp"
#include "strip/strip_system.hpp"

namespace sw {

/// What a direct solver is made of, fixed for a run.
struct DirectSettings {
  int threads = 1;  ///< threads of the assembly; the results do not depend on it
  int shots = 1;
  Ordering ordering = kRunOrdering;
  /// a of the complex frequency omega - i a the matrix is assembled at (0: omega)
  double damping = 0.0;
  /// who factors: this process, or (on rank 0) every rank of the world together, this
  /// process assembling the matrix and holding the right-hand sides and solutions
  MumpsRanks ranks = MumpsRanks::own;
};

class DirectSolver final : public FrequencySolver {
 public:
  static constexpr std::uint8_t kCarriedMark = 2;  ///< the strip iteration's state starts 0 or 1

  /// Forms the pattern of the grid and analyses it: estimate() is known from here on.
  /// Throws DirectSolverError.
  DirectSolver(const StripGrid& grid, const MaterialModel& materials,
               const DirectSettings& settings);

  /// Assembles and factors frequency index jw.  Throws DirectSolverError.
  void factor(int jw, double omega) override;
  /// Solves every shot's source at once; each outcome holds its relative residual
  /// (converged, no passes).  Throws DirectSolverError.
  void solve(int jw, std::span<const PointSource> sources, const IterationLimits& limits,
             SolveObserver& observer, std::span<SolveOutcome> outcomes) override;
  const EdgeFields& fields(int shot) override;
  int shots() const override { return settings_.shots; }
  /// The matrix, the right-hand sides, the fields and MUMPS's estimate for the factors
  /// (of this process's part when the world factors together).
  std::size_t bytes() const override;
  /// Nothing carries over: every frequency is solved from its own factors.
  void saveCarried(StateWriter& out) const override { out.value(kCarriedMark); }
  void restoreCarried(StateReader& in) override {
    if (in.value<std::uint8_t>() != kCarriedMark)
      throw StateMismatch("the state of another kind of solver");
  }

  /// MUMPS's estimate of the memory of a factorisation, from the analysis.
  const FactorEstimate& estimate() const { return mumps_->estimate(); }
  const SolverStatistics& statistics() const { return mumps_->statistics(); }
  /// Each rank's memory of the factorisation (one entry when this process factors alone).
  const std::vector<RankMemory>& rankMemory() const { return mumps_->rankMemory(); }
  const MemoryTotals& memoryTotals() const { return mumps_->memoryTotals(); }

 private:
  StripGrid grid_;
  const MaterialModel& materials_;
  DirectSettings settings_;
  StripSystem sys_;
  WholeGridMatrix a_;
  std::unique_ptr<MumpsSolver> mumps_;
  std::vector<Cx> b_, x_, work_;  ///< every shot's right-hand side and solution in turn
  std::vector<EdgeFields> fields_;
};

}  // namespace sw

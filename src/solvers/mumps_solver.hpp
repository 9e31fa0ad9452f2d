#pragma once
/// The whole-grid system solved by a sparse direct method (MUMPS, complex double,
/// symmetric LDL^T; on one process, or on every rank of the world together): the pattern
/// analysed once, the values factored per frequency, many right-hand sides solved at once.

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/complex.hpp"
#include "solvers/whole_grid.hpp"

namespace sw {

/// Fill-reducing ordering of the analysis: nested dissection of the edge graph by METIS
/// (handed to MUMPS as the pivot order), or one of MUMPS's own: approximate minimum
/// degree, SCOTCH.  On the layered model's grids AMD leaves 10 to 12 % fewer entries in
/// the factors than METIS, for 1 % more to 11 % fewer operations (200 to 600 elements a
/// side), and its analysis takes a fraction of the time: AMD is the one runs use.
enum class Ordering { metis, amd, scotch };

/// The ordering of the runs.
inline constexpr Ordering kRunOrdering = Ordering::amd;

/// Name of an ordering, for logs and benchmarks.
const char* orderingName(Ordering o);

/// A failure of the direct solver, with MUMPS's INFOG(1) and INFOG(2).
class DirectSolverError : public std::runtime_error {
 public:
  enum class Kind {
    noMemory,  ///< an allocation failed or a workspace stayed too small
    singular,  ///< the matrix is singular, structurally or numerically
    failed,    ///< any other error
  };
  DirectSolverError(Kind k, int i1, int i2, const std::string& what)
      : std::runtime_error(what), kind(k), info1(i1), info2(i2) {}
  Kind kind;
  int info1, info2;
};

/// Why MUMPS stopped with INFOG(1) = info1 < 0 and INFOG(2) = info2, in words.
DirectSolverError mumpsError(const char* phase, int info1, int info2);

/// What the analysis says of the factorisation to come.
struct FactorEstimate {
  double memoryMb = 0.0;      ///< all data of the in-core factorisation (INFOG(17)), MB
  double factorEntries = 0.0; ///< complex entries of the factors (INFOG(3))
  double flops = 0.0;         ///< operations of the elimination (RINFOG(1))
};

/// Wall times and counts of the phases so far.
struct SolverStatistics {
  int analyses = 0, factorisations = 0, solves = 0;  ///< solves: right-hand sides
  double analysisSeconds = 0.0, factorSeconds = 0.0, solveSeconds = 0.0;  ///< the last ones
  double factorMemoryMb = 0.0;  ///< memory the last factorisation used (INFOG(22)), MB
  double totalFactorSeconds = 0.0;  ///< wall time of every factorisation so far
};

/// The processes that take part in an instance's work.
enum class MumpsRanks {
  /// this process alone (under mpirun each rank factors its own frequencies)
  own,
  /// every rank of the world on one factorisation: rank 0, the host, holds the matrix, the
  /// right-hand sides and the solutions; the other ranks join each call through
  /// serveSharedMumps
  world,
};

/// The memory of one rank's part of the factorisation, MB: MUMPS's INFO(15) by the analysis,
/// INFO(16) (allocated) and INFO(22) (used) by the last factorisation, and the largest
/// INFO(22) of the factorisations so far.
struct RankMemory {
  double estimateMb = 0.0, allocatedMb = 0.0, usedMb = 0.0, largestUsedMb = 0.0;
};

/// The memory of all ranks of an instance together, MB: the largest and the sum over the
/// ranks of INFO(16) (INFOG(18), INFOG(19)) and of INFO(22) (INFOG(21), INFOG(22)) of the
/// last factorisation.
struct MemoryTotals {
  double largestAllocatedMb = 0.0, allocatedMb = 0.0, largestUsedMb = 0.0, usedMb = 0.0;
};

/// One MUMPS instance for the pattern of one whole-grid matrix.  MUMPS writes nothing.
class MumpsSolver {
 public:
  /// Analyses the pattern of `a` (its values are not read) with `ordering`, on this process
  /// or, on rank 0 with MumpsRanks::world, with every rank of the world.  Throws
  /// DirectSolverError.
  MumpsSolver(const WholeGridMatrix& a, Ordering ordering, MumpsRanks ranks = MumpsRanks::own);
  ~MumpsSolver();
  MumpsSolver(const MumpsSolver&) = delete;
  MumpsSolver& operator=(const MumpsSolver&) = delete;

  const FactorEstimate& estimate() const { return estimate_; }
  const SolverStatistics& statistics() const { return stats_; }
  /// Each rank's memory (one entry for MumpsRanks::own), from the analysis on.
  const std::vector<RankMemory>& rankMemory() const { return rankMemory_; }
  /// The ranks' memory together, from the first factorisation on.
  const MemoryTotals& memoryTotals() const { return totals_; }

  /// Factors the values of `a`, a matrix of the analysed pattern (the same object or one
  /// formed for the same grid).  A workspace that proves too small is enlarged and the
  /// factorisation repeated, a few times.  Throws DirectSolverError.
  void factor(const WholeGridMatrix& a);

  /// Solves A X = B with the last factors for `count` right-hand sides stored one after
  /// the other (order() entries each) in `b`, overwritten by the solutions.  Throws
  /// DirectSolverError.
  void solve(Cx* b, int count);

 private:
  struct Instance;
  std::unique_ptr<Instance> m_;
  int order_ = 0;
  std::int64_t entries_ = 0;
  FactorEstimate estimate_;
  SolverStatistics stats_;
  std::vector<RankMemory> rankMemory_;
  MemoryTotals totals_;
};

/// The part of a rank other than 0 in the instances rank 0 makes with MumpsRanks::world:
/// takes part in each call rank 0 makes, in its order, until rank 0 ends the run with
/// endSharedMumps; returns the status rank 0 gave.  Needs MPI (returns 0 without).
int serveSharedMumps();

/// Rank 0: ends serveSharedMumps on every other rank with `status`.  Every instance made
/// with MumpsRanks::world must be gone (its destructor takes the others' part with it).
void endSharedMumps(int status);

}  // namespace sw

#pragma once
/// The whole-grid system solved by a sparse direct method (MUMPS, sequential, complex
/// double, symmetric LDL^T): the pattern analysed once, the values factored per
/// frequency, many right-hand sides solved at once.

#include <memory>
#include <stdexcept>
#include <string>

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
};

/// One MUMPS instance for the pattern of one whole-grid matrix.  MUMPS writes nothing.
class MumpsSolver {
 public:
  /// Analyses the pattern of `a` (its values are not read) with `ordering`.  Throws
  /// DirectSolverError.
  MumpsSolver(const WholeGridMatrix& a, Ordering ordering);
  ~MumpsSolver();
  MumpsSolver(const MumpsSolver&) = delete;
  MumpsSolver& operator=(const MumpsSolver&) = delete;

  const FactorEstimate& estimate() const { return estimate_; }
  const SolverStatistics& statistics() const { return stats_; }

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
};

}  // namespace sw

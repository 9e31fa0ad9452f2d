#include "solvers/mumps_solver.hpp"

#include <metis.h>
#include <zmumps_c.h>

#include <chrono>
#include <cstddef>
#include <limits>
#include <string>
#include <type_traits>
#include <vector>

#include "core/check.hpp"
#include "core/mpi_environment.hpp"

#if defined(STRIPWAVE_MPI)
#include <mpi.h>
#endif

namespace sw {

// The values are handed to MUMPS in place: a Cx is laid out as MUMPS's complex type.
static_assert(sizeof(Cx) == sizeof(ZMUMPS_COMPLEX) && std::is_standard_layout_v<Cx> &&
              offsetof(Cx, re) == offsetof(ZMUMPS_COMPLEX, r) &&
              offsetof(Cx, im) == offsetof(ZMUMPS_COMPLEX, i));
static_assert(sizeof(MUMPS_INT) == sizeof(int), "32-bit MUMPS indices");
static_assert(sizeof(idx_t) == sizeof(int), "32-bit METIS indices");

namespace {

/// MUMPS's control and information arrays, by their 1-based numbers.
int& icntl(ZMUMPS_STRUC_C& id, int k) { return id.icntl[k - 1]; }
int infog(const ZMUMPS_STRUC_C& id, int k) { return id.infog[k - 1]; }

constexpr int kInitialise = -1, kTerminate = -2, kAnalyse = 1, kFactor = 2, kSolve = 3;
constexpr int kGeneralSymmetric = 2;

/// Workspace relaxation (ICNTL(14), percent) of the first factorisation, and the number of
/// times a too-small workspace is doubled.
constexpr int kRelaxation = 20;
constexpr int kEnlargements = 3;

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

/// A MUMPS size in "millions when negative" form (INFOG(3) and the like).
double mumpsCount(int v) { return v >= 0 ? static_cast<double>(v) : -1e6 * static_cast<double>(v); }

/// Pivot order of the unknowns from a nested dissection of the edge graph (two edges are
/// neighbours when they bound one element): position (from 1) of every unknown, the two
/// components of an edge one after the other.
std::vector<int> metisPivotOrder(const WholeGridNumbering& num) {
  const int nx = num.nx, ny = num.ny;
  const int edges = static_cast<int>(num.size() / 2);
  // Two distinct edges bound at most one element in common, so the lists have no repeats.
  std::vector<idx_t> xadj(static_cast<std::size_t>(edges) + 1, 0);
  auto edgesOf = [&](int i, int j, int (&e)[4]) {
    for (int k = 0; k < 4; ++k) e[k] = static_cast<int>(num.local(i, j, 2 * k + 1) / 2);
  };
  int e[4];
  for (int j = 1; j <= ny; ++j)
    for (int i = 1; i <= nx; ++i) {
      edgesOf(i, j, e);
      for (const int v : e) xadj[static_cast<std::size_t>(v) + 1] += 3;
    }
  for (int v = 0; v < edges; ++v) xadj[v + 1] += xadj[v];
  std::vector<idx_t> adjncy(static_cast<std::size_t>(xadj[edges]));
  std::vector<idx_t> fill(xadj.begin(), xadj.end() - 1);
  for (int j = 1; j <= ny; ++j)
    for (int i = 1; i <= nx; ++i) {
      edgesOf(i, j, e);
      for (const int v : e)
        for (const int w : e)
          if (w != v) adjncy[static_cast<std::size_t>(fill[v]++)] = w;
    }

  idx_t options[METIS_NOPTIONS];
  METIS_SetDefaultOptions(options);
  idx_t n = edges;
  std::vector<idx_t> perm(static_cast<std::size_t>(edges)), iperm(perm.size());
  const int rc =
      METIS_NodeND(&n, xadj.data(), adjncy.data(), nullptr, options, perm.data(), iperm.data());
  if (rc == METIS_ERROR_MEMORY)
    throw DirectSolverError(DirectSolverError::Kind::noMemory, rc, 0,
                            "the METIS ordering ran out of memory");
  if (rc != METIS_OK)
    throw DirectSolverError(DirectSolverError::Kind::failed, rc, 0,
                            "the METIS ordering failed (status " + std::to_string(rc) + ")");
  // iperm[v]: the place of edge v in the elimination order.
  std::vector<int> order(static_cast<std::size_t>(2) * edges);
  for (int v = 0; v < edges; ++v) {
    order[2 * static_cast<std::size_t>(v)] = 2 * iperm[v] + 1;
    order[2 * static_cast<std::size_t>(v) + 1] = 2 * iperm[v] + 2;
  }
  return order;
}

/// The communicator of an instance: with MPI (the parallel library) this rank's own, so
/// that every rank solves its frequencies alone; the sequential library's one otherwise.
int ownCommunicator() {
#if defined(STRIPWAVE_MPI)
  mpi::start();
  return static_cast<int>(MPI_Comm_c2f(MPI_COMM_SELF));
#else
  constexpr int kUseCommWorld = -987654;
  return kUseCommWorld;
#endif
}

/// ICNTL(7) of MUMPS's own orderings.
int mumpsOrdering(Ordering o) {
  switch (o) {
    case Ordering::metis:
      return 1;  // given by us
    case Ordering::amd:
      return 0;
    case Ordering::scotch:
      return 3;
  }
  return 0;
}

/// INFOG(1) values a larger workspace (ICNTL(14)) cures.
bool workspaceTooSmall(int info1) {
  return info1 == -8 || info1 == -9 || info1 == -11 || info1 == -12 || info1 == -14 ||
         info1 == -15 || info1 == -17 || info1 == -20;
}

}  // namespace

const char* orderingName(Ordering o) {
  switch (o) {
    case Ordering::metis:
      return "METIS";
    case Ordering::amd:
      return "AMD";
    case Ordering::scotch:
      return "SCOTCH";
  }
  return "?";
}

DirectSolverError mumpsError(const char* phase, int info1, int info2) {
  using Kind = DirectSolverError::Kind;
  const std::string codes =
      " (MUMPS INFOG(1) = " + std::to_string(info1) + ", INFOG(2) = " + std::to_string(info2) + ")";
  const std::string in = std::string(" in the ") + phase;
  switch (info1) {
    case -5:
    case -7:
    case -13: {
      // INFOG(2): the size asked for, in entries, or in millions of entries when negative.
      const std::string size = info2 < 0 ? std::to_string(-info2) + " million" : std::to_string(info2);
      return {Kind::noMemory, info1, info2,
              "the direct solver ran out of memory" + in + ": an allocation of " + size +
                  " entries failed" + codes};
    }
    case -19:
      return {Kind::noMemory, info1, info2,
              "the direct solver needs more memory than it may use" + in + codes};
    case -6:
      return {Kind::singular, info1, info2,
              "the whole-grid matrix is structurally singular" + in + codes};
    case -10:
      return {Kind::singular, info1, info2,
              "the whole-grid matrix is numerically singular" + in + ": a pivot is zero" + codes};
    default:
      if (workspaceTooSmall(info1))
        return {Kind::noMemory, info1, info2,
                "the direct solver's workspace stayed too small" + in + codes};
      return {Kind::failed, info1, info2, "the direct solver failed" + in + codes};
  }
}

struct MumpsSolver::Instance {
  ZMUMPS_STRUC_C id{};
  std::vector<int> pivotOrder;
  bool initialised = false;
};

MumpsSolver::MumpsSolver(const WholeGridMatrix& a, Ordering ordering)
    : m_(std::make_unique<Instance>()), order_(a.order()), entries_(a.entries()) {
  const auto start = std::chrono::steady_clock::now();
  ZMUMPS_STRUC_C& id = m_->id;
  id.comm_fortran = ownCommunicator();
  id.par = 1;
  id.sym = kGeneralSymmetric;
  id.job = kInitialise;
  zmumps_c(&id);
  if (infog(id, 1) < 0) throw mumpsError("initialisation", infog(id, 1), infog(id, 2));
  m_->initialised = true;

  // No output of MUMPS's own: errors, diagnostics and statistics off.
  icntl(id, 1) = -1;
  icntl(id, 2) = -1;
  icntl(id, 3) = -1;
  icntl(id, 4) = 0;
  // The analysis reads the pattern only, so that it holds for every frequency: no
  // matching-based permutation or compression (they read values), scaling chosen at
  // each factorisation.
  icntl(id, 6) = 0;
  icntl(id, 8) = 77;
  icntl(id, 12) = 1;
  icntl(id, 14) = kRelaxation;
  icntl(id, 7) = mumpsOrdering(ordering);
  if (ordering == Ordering::metis) {
    m_->pivotOrder = metisPivotOrder(a.numbering());
    id.perm_in = m_->pivotOrder.data();
  }

  id.n = order_;
  id.nnz = entries_;
  id.nz = entries_ <= std::numeric_limits<int>::max() ? static_cast<int>(entries_) : 0;
  id.irn = const_cast<int*>(a.rows().data());
  id.jcn = const_cast<int*>(a.columns().data());
  id.a = nullptr;
  id.job = kAnalyse;
  zmumps_c(&id);
  if (infog(id, 1) < 0) throw mumpsError("analysis", infog(id, 1), infog(id, 2));
  id.perm_in = nullptr;
  m_->pivotOrder = std::vector<int>();

  estimate_.memoryMb = static_cast<double>(infog(id, 17));
  estimate_.factorEntries = mumpsCount(infog(id, 3));
  estimate_.flops = id.rinfog[0];
  stats_.analyses = 1;
  stats_.analysisSeconds = seconds(start);
}

MumpsSolver::~MumpsSolver() {
  if (m_ && m_->initialised) {
    m_->id.job = kTerminate;
    zmumps_c(&m_->id);
  }
}

void MumpsSolver::factor(const WholeGridMatrix& a) {
  SW_CHECK(a.order() == order_ && a.entries() == entries_, "matrix of the analysed pattern");
  const auto start = std::chrono::steady_clock::now();
  ZMUMPS_STRUC_C& id = m_->id;
  id.irn = const_cast<int*>(a.rows().data());
  id.jcn = const_cast<int*>(a.columns().data());
  id.a = reinterpret_cast<ZMUMPS_COMPLEX*>(const_cast<Cx*>(a.values().data()));
  id.job = kFactor;
  for (int attempt = 0;; ++attempt) {
    zmumps_c(&id);
    const int info1 = infog(id, 1);
    if (info1 >= 0) break;
    if (!workspaceTooSmall(info1) || attempt == kEnlargements)
      throw mumpsError("factorisation", info1, infog(id, 2));
    icntl(id, 14) *= 2;
  }
  ++stats_.factorisations;
  stats_.factorSeconds = seconds(start);
  stats_.factorMemoryMb = static_cast<double>(infog(id, 22));
}

void MumpsSolver::solve(Cx* b, int count) {
  SW_CHECK(stats_.factorisations > 0 && count >= 1, "solve after a factorisation");
  const auto start = std::chrono::steady_clock::now();
  ZMUMPS_STRUC_C& id = m_->id;
  id.rhs = reinterpret_cast<ZMUMPS_COMPLEX*>(b);
  id.nrhs = count;
  id.lrhs = order_;
  icntl(id, 20) = 0;  // dense right-hand sides
  icntl(id, 21) = 0;  // the solutions in their place
  id.job = kSolve;
  zmumps_c(&id);
  id.rhs = nullptr;
  if (infog(id, 1) < 0) throw mumpsError("solve", infog(id, 1), infog(id, 2));
  stats_.solves += count;
  stats_.solveSeconds = seconds(start);
}

}  // namespace sw

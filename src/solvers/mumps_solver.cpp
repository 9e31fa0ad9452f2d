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

/// No output of MUMPS's own on this process: errors, diagnostics and statistics off.
void quiet(ZMUMPS_STRUC_C& id) {
  icntl(id, 1) = -1;
  icntl(id, 2) = -1;
  icntl(id, 3) = -1;
  icntl(id, 4) = 0;
}

/// INFO(k) of this process.
int info(const ZMUMPS_STRUC_C& id, int k) { return id.info[k - 1]; }

/// What rank 0 tells the other ranks before each call of an instance shared by the world
/// (the job and the workspace relaxation ICNTL(14) it takes), or that the run ends with
/// `status`.
struct Command {
  int end = 0, job = 0, relaxation = 0, status = 0;
};

/// The memory figures of this process after an analysis or a factorisation: INFO(15),
/// INFO(16), INFO(22), MB.
struct MemoryInfo {
  int estimate = 0, allocated = 0, used = 0;
};
MemoryInfo memoryInfo(const ZMUMPS_STRUC_C& id) { return {info(id, 15), info(id, 16), info(id, 22)}; }

#if defined(STRIPWAVE_MPI)
void broadcastCommand(Command& c) { MPI_Bcast(&c, 4, MPI_INT, 0, MPI_COMM_WORLD); }

/// Every rank's MemoryInfo at rank 0 (the others pass nullptr).
void gatherMemory(const ZMUMPS_STRUC_C& id, MPI_Comm comm, MemoryInfo* all) {
  MemoryInfo mine = memoryInfo(id);
  MPI_Gather(&mine, 3, MPI_INT, all, 3, MPI_INT, 0, comm);
}
#endif

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
  bool world = false;  ///< shared by every rank of the world, this process the host
  std::vector<MemoryInfo> memory;  ///< every rank's after the last analysis or factorisation
#if defined(STRIPWAVE_MPI)
  MPI_Comm comm = MPI_COMM_NULL;  ///< the world's duplicate a shared instance works on
#endif

  /// Runs `job`: in a shared instance the other ranks are told it and take part.
  void call(int job) {
#if defined(STRIPWAVE_MPI)
    if (world) {
      Command c;
      c.job = job;
      c.relaxation = icntl(id, 14);
      broadcastCommand(c);
      if (job == kInitialise) {
        MPI_Comm_dup(MPI_COMM_WORLD, &comm);
        id.comm_fortran = static_cast<int>(MPI_Comm_c2f(comm));
      }
    }
#endif
    id.job = job;
    zmumps_c(&id);
    if (job != kAnalyse && job != kFactor) return;
#if defined(STRIPWAVE_MPI)
    if (world) {
      int ranks = 1;
      MPI_Comm_size(comm, &ranks);
      memory.resize(static_cast<std::size_t>(ranks));
      gatherMemory(id, comm, memory.data());
      return;
    }
#endif
    memory.assign(1, memoryInfo(id));
  }

  ~Instance() {
    if (initialised) call(kTerminate);
#if defined(STRIPWAVE_MPI)
    if (comm != MPI_COMM_NULL) MPI_Comm_free(&comm);
#endif
  }
};

MumpsSolver::MumpsSolver(const WholeGridMatrix& a, Ordering ordering, MumpsRanks ranks)
    : m_(std::make_unique<Instance>()), order_(a.order()), entries_(a.entries()) {
  const auto start = std::chrono::steady_clock::now();
  ZMUMPS_STRUC_C& id = m_->id;
  if (ranks == MumpsRanks::world) {
    SW_CHECK(mpi::running() && mpi::rank() == 0, "an instance of the world made on rank 0");
    m_->world = true;
  } else {
    id.comm_fortran = ownCommunicator();
  }
  id.par = 1;
  id.sym = kGeneralSymmetric;
  m_->call(kInitialise);
  if (infog(id, 1) < 0) throw mumpsError("initialisation", infog(id, 1), infog(id, 2));
  m_->initialised = true;

  quiet(id);
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
  m_->call(kAnalyse);
  if (infog(id, 1) < 0) throw mumpsError("analysis", infog(id, 1), infog(id, 2));
  id.perm_in = nullptr;
  m_->pivotOrder = std::vector<int>();

  estimate_.memoryMb = static_cast<double>(infog(id, 17));
  estimate_.factorEntries = mumpsCount(infog(id, 3));
  estimate_.flops = id.rinfog[0];
  stats_.analyses = 1;
  stats_.analysisSeconds = seconds(start);
  for (const MemoryInfo& r : m_->memory)
    rankMemory_.push_back(RankMemory{static_cast<double>(r.estimate), 0.0, 0.0, 0.0});
}

MumpsSolver::~MumpsSolver() = default;

void MumpsSolver::factor(const WholeGridMatrix& a) {
  SW_CHECK(a.order() == order_ && a.entries() == entries_, "matrix of the analysed pattern");
  const auto start = std::chrono::steady_clock::now();
  ZMUMPS_STRUC_C& id = m_->id;
  id.irn = const_cast<int*>(a.rows().data());
  id.jcn = const_cast<int*>(a.columns().data());
  id.a = reinterpret_cast<ZMUMPS_COMPLEX*>(const_cast<Cx*>(a.values().data()));
  for (int attempt = 0;; ++attempt) {
    m_->call(kFactor);
    const int info1 = infog(id, 1);
    if (info1 >= 0) break;
    if (!workspaceTooSmall(info1) || attempt == kEnlargements)
      throw mumpsError("factorisation", info1, infog(id, 2));
    icntl(id, 14) *= 2;
  }
  ++stats_.factorisations;
  stats_.factorSeconds = seconds(start);
  stats_.totalFactorSeconds += stats_.factorSeconds;
  stats_.factorMemoryMb = static_cast<double>(infog(id, 22));
  SW_CHECK(m_->memory.size() == rankMemory_.size(), "the memory of every rank");
  for (std::size_t r = 0; r < rankMemory_.size(); ++r) {
    RankMemory& m = rankMemory_[r];
    m.allocatedMb = static_cast<double>(m_->memory[r].allocated);
    m.usedMb = static_cast<double>(m_->memory[r].used);
    if (m.usedMb > m.largestUsedMb) m.largestUsedMb = m.usedMb;
  }
  totals_ = MemoryTotals{static_cast<double>(infog(id, 18)), static_cast<double>(infog(id, 19)),
                         static_cast<double>(infog(id, 21)), static_cast<double>(infog(id, 22))};
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
  m_->call(kSolve);
  id.rhs = nullptr;
  if (infog(id, 1) < 0) throw mumpsError("solve", infog(id, 1), infog(id, 2));
  stats_.solves += count;
  stats_.solveSeconds = seconds(start);
}

int serveSharedMumps() {
#if defined(STRIPWAVE_MPI)
  ZMUMPS_STRUC_C id{};
  MPI_Comm comm = MPI_COMM_NULL;
  for (;;) {
    Command c;
    broadcastCommand(c);
    if (c.end != 0) return c.status;
    if (c.job == kInitialise) {
      MPI_Comm_dup(MPI_COMM_WORLD, &comm);
      id = ZMUMPS_STRUC_C{};
      id.comm_fortran = static_cast<int>(MPI_Comm_c2f(comm));
      id.par = 1;
      id.sym = kGeneralSymmetric;
    } else {
      icntl(id, 14) = c.relaxation;
    }
    id.job = c.job;
    zmumps_c(&id);
    if (c.job == kInitialise) quiet(id);
    if (c.job == kAnalyse || c.job == kFactor) gatherMemory(id, comm, nullptr);
    if (c.job == kTerminate) MPI_Comm_free(&comm);
  }
#else
  return 0;
#endif
}

void endSharedMumps(int status) {
#if defined(STRIPWAVE_MPI)
  Command c;
  c.end = 1;
  c.status = status;
  broadcastCommand(c);
#else
  (void)status;
#endif
}

}  // namespace sw

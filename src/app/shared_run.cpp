#include "app/shared_run.hpp"

#include <algorithm>
#include <array>
#include <climits>
#include <map>
#include <cstdint>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/check.hpp"
#include "core/constants.hpp"
#include "core/exit_status.hpp"
#include "core/frequency.hpp"
#include "core/mpi_environment.hpp"
#include "core/state_bytes.hpp"
#include "model/medium.hpp"
#include "solvers/strip_iteration.hpp"
#if defined(STRIPWAVE_DIRECT)
#include "solvers/direct_solver.hpp"
#endif
#if defined(STRIPWAVE_MPI)
#include <mpi.h>
#endif

namespace sw {

#if defined(STRIPWAVE_MPI)

namespace {

using Bytes = std::vector<unsigned char>;

constexpr int kMediumTag = 1 << 20;  ///< above every frequency index (the tags of results)

/// What the ranks know of the run's state on rank 0.
struct SharedState {
  bool announced = false;  ///< the verdict on the input went out
  int awaited = 0;         ///< frequencies solved elsewhere not yet received
  bool distributed = false;  ///< the ranks factor together (startDistributedRun)
  std::vector<AvailableMemory> available;  ///< every rank's, at rank 0 in a distributed run
};
SharedState& shared() {
  static SharedState s;
  return s;
}

/// What every rank needs of the run, as rank 0 broadcasts it.
struct Work {
  int nx = 0, ny = 0;
  double h = 0.0;
  bool freeSurface = false;
  double damping = 0.0, delf = 0.0, reduc = 0.0;
  int jw1 = 1, jw2 = 0, jwlow = 0, maxlow = 0, maxiter = 0;
  int direct = 0, threads = 0, bands = 0;
  Kernels kernels = Kernels::lanes;
  Acceleration acceleration = Acceleration::off;
  std::vector<ShotSource> shots;
  std::vector<Cx> sour;  ///< jw1 .. jw2
};

/// The rank of the k-th frequency of the loop (from 0) of n among `ranks`.
int ownerOf(int k, int n, int ranks, bool bands) {
  if (!bands) return k % ranks;
  return static_cast<int>(static_cast<long>(k) * ranks / n);
}

void broadcast(Bytes& b) {
  std::uint64_t n = b.size();
  MPI_Bcast(&n, 1, MPI_UINT64_T, 0, MPI_COMM_WORLD);
  b.resize(n);
  SW_CHECK(n <= static_cast<std::uint64_t>(INT_MAX), "a broadcast within an int's count");
  MPI_Bcast(b.data(), static_cast<int>(n), MPI_BYTE, 0, MPI_COMM_WORLD);
}

Bytes receiveFrom(int source, int tag) {
  MPI_Status st;
  MPI_Probe(source, tag, MPI_COMM_WORLD, &st);
  int count = 0;
  MPI_Get_count(&st, MPI_BYTE, &count);
  Bytes b(static_cast<std::size_t>(count));
  MPI_Recv(b.data(), count, MPI_BYTE, source, tag, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
  return b;
}

/// The verdict and, when it is 0, the work.
void writeWork(StateWriter& w, const Work& k) {
  w.value(k.nx);
  w.value(k.ny);
  w.value(k.h);
  w.value(k.freeSurface);
  w.value(k.damping);
  w.value(k.delf);
  w.value(k.reduc);
  w.value(k.jw1);
  w.value(k.jw2);
  w.value(k.jwlow);
  w.value(k.maxlow);
  w.value(k.maxiter);
  w.value(k.direct);
  w.value(k.threads);
  w.value(k.bands);
  w.value(k.kernels);
  w.value(k.acceleration);
  w.array(std::span<const ShotSource>(k.shots));
  w.array(std::span<const Cx>(k.sour));
}

Work readWork(StateReader& r) {
  Work k;
  k.nx = r.value<int>();
  k.ny = r.value<int>();
  k.h = r.value<double>();
  k.freeSurface = r.value<bool>();
  k.damping = r.value<double>();
  k.delf = r.value<double>();
  k.reduc = r.value<double>();
  k.jw1 = r.value<int>();
  k.jw2 = r.value<int>();
  k.jwlow = r.value<int>();
  k.maxlow = r.value<int>();
  k.maxiter = r.value<int>();
  k.direct = r.value<int>();
  k.threads = r.value<int>();
  k.bands = r.value<int>();
  k.kernels = r.value<Kernels>();
  k.acceleration = r.value<Acceleration>();
  k.shots = r.vector<ShotSource>();
  k.sour = r.vector<Cx>();
  return k;
}

template <class T>
void writeGrid(StateWriter& w, const Grid<T>& g) {
  w.array(std::span<const T>(g.data(), g.size()));
}
template <class T>
void readGrid(StateReader& r, Grid<T>& g) {
  r.array(std::span<T>(g.data(), g.size()));
}

/// The media of a rank's frequencies, as rank 0 formed them.
class ReceivedMedia final : public MaterialModel {
 public:
  void fillMedium(int jw, double, Medium& med, int) const override {
    const auto at = media_.find(jw);
    SW_CHECK(at != media_.end(), "the medium of a frequency of this rank");
    StateReader r(at->second);
    med.closedFormRoots = r.value<bool>();
    readGrid(r, med.rho);
    for (Grid<Cx>* g : {&med.p11, &med.p13, &med.p15, &med.p33, &med.p35, &med.p55}) readGrid(r, *g);
  }
  std::size_t bytes() const override {
    std::size_t n = 0;
    for (const auto& [jw, b] : media_) n += b.size();
    return n;
  }
  std::map<int, Bytes> media_;
};

/// The failures a rank sends in place of a frequency's results.
enum class Failure : int { none, directSolver, memory, other };

/// Records every pass the log shows.
class PassRecorder final : public SolveObserver {
 public:
  void pass(int shot, int iter, double relerr, double errden) override {
    if (iter % 100 == 0) passes.push_back(PassRecord{shot, iter, relerr, errden});
  }
  std::vector<PassRecord> passes;
};

std::array<const Grid<Cx>*, 8> displacementsOf(const EdgeFields& f) { return f.displacements(); }
std::array<Grid<Cx>*, 8> displacementsOf(EdgeFields& f) {
  return {&f.u1.l, &f.u1.t, &f.u1.b, &f.u1.r, &f.u2.l, &f.u2.t, &f.u2.b, &f.u2.r};
}

}  // namespace

bool sharedRun() { return mpi::size() > 1; }

bool distributedRun(const Options& opt) { return opt.distributedFactor && sharedRun(); }

void startDistributedRun() {
  shared().distributed = true;
  // The bytes and the name of the bound of every rank.
  struct Room {
    double bytes = 0.0;
    char source[40] = {};
  };
  const AvailableMemory mine = availableMemory();
  Room r;
  r.bytes = mine.bytes;
  mine.source.copy(r.source, sizeof r.source - 1);
  std::vector<Room> all(mpi::rank() == 0 ? static_cast<std::size_t>(mpi::size()) : 0);
  MPI_Gather(&r, sizeof r, MPI_BYTE, all.data(), sizeof r, MPI_BYTE, 0, MPI_COMM_WORLD);
  for (const Room& a : all) shared().available.push_back(AvailableMemory{a.bytes, a.source});
}

const std::vector<AvailableMemory>& rankAvailableMemory() { return shared().available; }

int serveDistributedRun() {
#if defined(STRIPWAVE_DIRECT)
  return serveSharedMumps();
#else
  return kExitUsage;  // (the option needs the direct solver: refused before)
#endif
}

SharedFrequencies::SharedFrequencies(const RunParams& par, const MaterialModel& materials,
                                     const Vec1<Cx>& sour, const std::vector<ShotSource>& shots,
                                     const Options& opt)
    : nx_(par.nx), ny_(par.ny), jw1_(par.jw1), jw2_(par.jw2), bands_(opt.mpiBands) {
  Work k;
  k.nx = par.nx;
  k.ny = par.ny;
  k.h = par.h;
  k.freeSurface = par.freeSurface;
  k.damping = par.damping;
  k.delf = par.delf;
  k.reduc = par.reduc;
  k.jw1 = par.jw1;
  k.jw2 = par.jw2;
  k.jwlow = par.jwlow;
  k.maxlow = par.maxlow;
  k.maxiter = par.maxiter;
  k.direct = opt.solver == SolverKind::direct ? 1 : 0;
  k.threads = opt.threads;
  k.bands = opt.mpiBands ? 1 : 0;
  k.acceleration = opt.acceleration;
  k.shots = shots;
  for (int jw = par.jw1; jw <= par.jw2; ++jw) k.sour.push_back(sour(jw));
  Bytes b;
  StateWriter w(b);
  w.value(0);
  writeWork(w, k);
  broadcast(b);
  shared().announced = true;
  // The media of the other ranks' frequencies, each rank's in the loop's order.
  Medium med(par.nx, par.ny);
  const int threads = opt.threads > 0 ? opt.threads : defaultThreads(par.nx, par.ny);
  for (int jw = par.jw2; jw >= par.jw1; --jw) {
    const int to = owner(jw);
    if (to == 0) continue;
    materials.fillMedium(jw, frequencyOfIndex(jw, par.delf) * kTwoPi, med, threads);
    Bytes m;
    StateWriter mw(m);
    mw.value(med.closedFormRoots);
    writeGrid(mw, med.rho);
    for (const Grid<Cx>* g : {&med.p11, &med.p13, &med.p15, &med.p33, &med.p35, &med.p55})
      writeGrid(mw, *g);
    MPI_Send(m.data(), static_cast<int>(m.size()), MPI_BYTE, to, kMediumTag, MPI_COMM_WORLD);
    ++shared().awaited;
  }
}

int SharedFrequencies::owner(int jw) const {
  return ownerOf(jw2_ - jw, jw2_ - jw1_ + 1, mpi::size(), bands_);
}

void SharedFrequencies::receive(int jw, std::span<SolveOutcome> outcomes,
                                std::vector<PassRecord>& passes, std::vector<EdgeFields>& fields) {
  const int from = owner(jw);
  const Bytes head = receiveFrom(from, jw);
  --shared().awaited;
  StateReader r(head);
  const auto failure = r.value<Failure>();
  if (failure != Failure::none) {
    shared().awaited = -1;  // the others' results are no longer awaited
    const int i1 = r.value<int>(), i2 = r.value<int>(), kind = r.value<int>();
    const std::string what = r.text();
    (void)i1;  // (read by the direct solver's failures only)
    (void)i2;
    (void)kind;
    switch (failure) {
#if defined(STRIPWAVE_DIRECT)
      case Failure::directSolver:
        throw DirectSolverError(static_cast<DirectSolverError::Kind>(kind), i1, i2, what);
#endif
      case Failure::memory:
        throw std::bad_alloc();
      default:
        throw std::runtime_error("rank " + std::to_string(from) + ": " + what);
    }
  }
  for (SolveOutcome& o : outcomes) o = r.value<SolveOutcome>();
  passes = r.vector<PassRecord>();
  if (fields.size() != outcomes.size()) fields.assign(outcomes.size(), EdgeFields(nx_, ny_));
  for (EdgeFields& f : fields) {
    const Bytes b = receiveFrom(from, jw);
    StateReader fr(b);
    for (Grid<Cx>* g : displacementsOf(f)) readGrid(fr, *g);
  }
}

void endSharedRun(int status) {
  if (!sharedRun()) return;
  if (shared().distributed) {
#if defined(STRIPWAVE_DIRECT)
    endSharedMumps(status);
#endif
    return;
  }
  if (!shared().announced) {
    Bytes b;
    StateWriter w(b);
    w.value(status != 0 ? status : kExitBadInput);
    broadcast(b);
    return;
  }
  if (shared().awaited != 0) mpi::abortAll(status);
  MPI_Bcast(&status, 1, MPI_INT, 0, MPI_COMM_WORLD);
}

int serveSharedRun(const Options&) {
  Bytes b;
  broadcast(b);
  StateReader r(b);
  const int verdict = r.value<int>();
  if (verdict != 0) return verdict;
  const Work k = readWork(r);
  const int self = mpi::rank(), ranks = mpi::size();
  const int n = k.jw2 - k.jw1 + 1;
  ReceivedMedia media;
  std::vector<int> mine;
  for (int jw = k.jw2; jw >= k.jw1; --jw)
    if (ownerOf(k.jw2 - jw, n, ranks, k.bands != 0) == self) {
      mine.push_back(jw);
      media.media_[jw] = receiveFrom(0, kMediumTag);
    }
  const int shots = static_cast<int>(k.shots.size());
  const StripGrid grid{k.nx, k.ny, k.h, k.freeSurface};
  const int threads = k.threads > 0 ? k.threads : defaultThreads(k.nx, k.ny);
  std::vector<std::unique_ptr<Bytes>> sent;
  std::vector<MPI_Request> requests;
  const auto send = [&](Bytes&& bytes, int tag) {
    sent.push_back(std::make_unique<Bytes>(std::move(bytes)));
    requests.emplace_back();
    MPI_Isend(sent.back()->data(), static_cast<int>(sent.back()->size()), MPI_BYTE, 0, tag,
              MPI_COMM_WORLD, &requests.back());
  };
  const auto fail = [&](int jw, Failure f, int i1, int i2, int kind, const std::string& what) {
    Bytes head;
    StateWriter w(head);
    w.value(f);
    w.value(i1);
    w.value(i2);
    w.value(kind);
    w.text(what);
    send(std::move(head), jw);
  };
  int jw = mine.empty() ? 0 : mine.front();
  try {
    std::unique_ptr<FrequencySolver> solver;
#if defined(STRIPWAVE_DIRECT)
    if (k.direct != 0)
      solver = std::make_unique<DirectSolver>(
          grid, media, DirectSettings{threads, shots, kRunOrdering, k.damping});
#endif
    if (!solver)
      solver = std::make_unique<StripIteration>(
          grid, media,
          StripIterationSettings{threads, k.kernels, k.acceleration, shots, k.damping});
    Bytes first;
    StateWriter fw(first);
    solver->saveCarried(fw);
    std::vector<PointSource> sources(k.shots.size());
    std::vector<SolveOutcome> outcomes(k.shots.size());
    int last = 0;
    for (const int j : mine) {
      jw = j;
      if (last != 0 && last != jw + 1) {
        StateReader fr(first);
        solver->restoreCarried(fr);
      }
      last = jw;
      const Cx s = k.sour[static_cast<std::size_t>(jw - k.jw1)];
      solver->factor(jw, frequencyOfIndex(jw, k.delf) * kTwoPi);
      for (std::size_t i = 0; i < k.shots.size(); ++i)
        sources[i] = PointSource{k.shots[i].kdel, k.shots[i].jsou, k.shots[i].ksou, s};
      const IterationLimits limits{jw <= k.jwlow ? k.maxlow : k.maxiter, k.reduc};
      PassRecorder passes;
      std::fill(outcomes.begin(), outcomes.end(), SolveOutcome{});
      solver->solve(jw, sources, limits, passes, outcomes);
      Bytes head;
      StateWriter w(head);
      w.value(Failure::none);
      for (const SolveOutcome& o : outcomes) w.value(o);
      w.array(std::span<const PassRecord>(passes.passes));
      send(std::move(head), jw);
      for (int i = 0; i < shots; ++i) {
        Bytes f;
        StateWriter fw2(f);
        for (const Grid<Cx>* g : displacementsOf(solver->fields(i))) writeGrid(fw2, *g);
        send(std::move(f), jw);
      }
      // Sends that went out free their bytes.
      for (std::size_t i = 0; i < requests.size(); ++i) {
        int done = 0;
        if (requests[i] != MPI_REQUEST_NULL) MPI_Test(&requests[i], &done, MPI_STATUS_IGNORE);
        if (requests[i] == MPI_REQUEST_NULL) sent[i].reset();
      }
    }
#if defined(STRIPWAVE_DIRECT)
  } catch (const DirectSolverError& e) {
    fail(jw, Failure::directSolver, e.info1, e.info2, static_cast<int>(e.kind), e.what());
#endif
  } catch (const std::bad_alloc&) {
    fail(jw, Failure::memory, 0, 0, 0, "not enough memory");
  } catch (const std::exception& e) {
    fail(jw, Failure::other, 0, 0, 0, e.what());
  }
  MPI_Waitall(static_cast<int>(requests.size()), requests.data(), MPI_STATUSES_IGNORE);
  int status = 0;
  MPI_Bcast(&status, 1, MPI_INT, 0, MPI_COMM_WORLD);
  return status;
}

#else

bool sharedRun() { return false; }
bool distributedRun(const Options&) { return false; }
void startDistributedRun() {}
const std::vector<AvailableMemory>& rankAvailableMemory() {
  static const std::vector<AvailableMemory> none;
  return none;
}
int serveDistributedRun() { return 0; }
int serveSharedRun(const Options&) { return 0; }
void endSharedRun(int) {}
SharedFrequencies::SharedFrequencies(const RunParams&, const MaterialModel&, const Vec1<Cx>&,
                                     const std::vector<ShotSource>&, const Options&) {}
int SharedFrequencies::owner(int) const { return 0; }
void SharedFrequencies::receive(int, std::span<SolveOutcome>, std::vector<PassRecord>&,
                                std::vector<EdgeFields>&) {}

#endif

}  // namespace sw

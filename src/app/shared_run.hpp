#pragma once
/// A run shared among the ranks of mpirun.  Rank 0 runs the program as a process of its own
/// does: it reads the input, writes every file and accumulates every frequency in the
/// order of one process.  The other ranks read nothing: rank 0 broadcasts what the solves
/// need (grid, limits, shots, source spectrum) and sends each of them the media of its
/// frequencies; each sends back, per frequency, its outcomes, the pass records of the log
/// and the displacements the accumulation reads.
///
/// Frequencies are dealt in the loop's order (jw2 down to jw1, the k-th from 0): round robin,
/// rank k mod N; or with --mpi-bands contiguous bands, rank k N / n of n frequencies.  The
/// shots of a frequency stay together on the rank that factors it.

#include <vector>

#include "app/frequency_loop.hpp"
#include "app/memory.hpp"
#include "app/options.hpp"
#include "materials/material_model.hpp"
#include "model/run_params.hpp"

namespace sw {

/// True when this process is one of several ranks.
bool sharedRun();

/// The part of a rank other than 0: waits for rank 0's verdict on the input, solves its
/// frequencies and returns the run's status, the same on every rank.  Prints nothing.
int serveSharedRun(const Options& opt);

/// True when the ranks of this run factor each frequency together (--distributed-factor
/// under mpirun with more than one rank): every rank takes every frequency in the order of
/// one process, rank 0 runs the program as a process of its own does and the others only
/// take their part in its direct solver's calls (serveDistributedRun).
bool distributedRun(const Options& opt);

/// The start of a distributed run on every rank, before anything else is done: each rank's
/// available memory is gathered at rank 0, from then on given by rankAvailableMemory (the
/// memory check of the factorisation's part of every rank), and endSharedRun ends the other
/// ranks' serveDistributedRun.
void startDistributedRun();

/// At rank 0 after startDistributedRun: rank r's available memory, for every rank (empty
/// otherwise).
const std::vector<AvailableMemory>& rankAvailableMemory();

/// The part of a rank other than 0 in a distributed run (after startDistributedRun): takes
/// part in every call of rank 0's direct solver until rank 0 ends the run, and returns the
/// run's status, the same on every rank.  Prints nothing.
int serveDistributedRun();

/// Rank 0, at the end of its run with `status`: tells the other ranks how the run ended.
/// Before the work was shared out it broadcasts the status (a refused input ends every
/// rank alike); after every frequency came back the final status; a run that stopped while
/// ranks were still at work ends them all with `status` (MPI_Abort).
void endSharedRun(int status);

/// Rank 0's side of the loop: sends out the work when made, hands the loop each frequency
/// solved elsewhere.
class SharedFrequencies final : public RemoteFrequencies {
 public:
  SharedFrequencies(const RunParams& par, const MaterialModel& materials, const Vec1<Cx>& sour,
                    const std::vector<ShotSource>& shots, const Options& opt);
  int owner(int jw) const override;
  void receive(int jw, std::span<SolveOutcome> outcomes, std::vector<PassRecord>& passes,
               std::vector<EdgeFields>& fields) override;

 private:
  // (Not read in a build without MPI.)
  [[maybe_unused]] int nx_ = 0, ny_ = 0, jw1_ = 1, jw2_ = 0;
  [[maybe_unused]] bool bands_ = false;
};

}  // namespace sw

#include <cstdio>

#include "app/options.hpp"
#include "app/run.hpp"
#include "app/shared_run.hpp"
#include "core/exit_status.hpp"
#include "app/wait_policy.hpp"
#include "core/mpi_environment.hpp"

int main(int argc, char** argv) {
  const sw::CommandLine cl = sw::parseCommandLine(argc, argv);
  if (!cl.run) {
    std::fputs(cl.out.c_str(), stdout);
    std::fputs(cl.err.c_str(), stderr);
    return cl.status;
  }
  sw::waitPassivelyUnlessChosen(argv);
  // Under mpirun every rank takes part from the start; a process of its own starts MPI
  // only if its solver needs it.  MPI ends here, whatever the run's status, or at exit.
  if (sw::mpi::launched()) sw::mpi::start();
  int status = 0;
  const sw::Options& opt = *cl.run;
  if (opt.distributedFactor && (opt.solver != sw::SolverKind::direct || opt.mpiBands)) {
    // Refused alike with one process and under mpirun, the message from rank 0 only.
    if (sw::mpi::rank() == 0)
      std::fputs(sw::usageErrorText(opt.mpiBands
                                        ? "--distributed-factor: every rank takes every "
                                          "frequency; --mpi-bands deals them out, not with it"
                                        : "--distributed-factor needs --solver direct: the "
                                          "ranks factor each frequency's whole-grid matrix "
                                          "together")
                     .c_str(),
                 stderr);
    status = sw::kExitUsage;
  } else if (sw::sharedRun() && (cl.run->resume || cl.run->pml > 0)) {
    // A checkpoint holds one process's state; the ranks solve the grid without a layer.
    if (sw::mpi::rank() == 0)
      std::fputs(sw::usageErrorText(cl.run->resume
                                        ? "--resume: a run shared among several MPI ranks "
                                          "keeps no checkpoint; resume with one process"
                                        : "--pml: not yet for a run shared among several MPI "
                                          "ranks; run it with one process")
                     .c_str(),
                 stderr);
    status = sw::kExitUsage;
  } else if (sw::distributedRun(opt)) {
    sw::startDistributedRun();
    if (sw::mpi::rank() != 0) {
      status = sw::serveDistributedRun();
    } else {
      status = sw::runMain(opt);
      sw::endSharedRun(status);
    }
  } else if (sw::sharedRun() && sw::mpi::rank() != 0) {
    status = sw::serveSharedRun(*cl.run);
  } else {
    status = sw::runMain(*cl.run);
    sw::endSharedRun(status);
  }
  sw::mpi::finish();
  return status;
}

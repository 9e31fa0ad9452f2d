#pragma once
/// The process's MPI environment, in a build with MPI (STRIPWAVE_MPI): started when a run
/// needs it (under mpirun, or for the direct solver's library), ended once at exit.
/// Without MPI every process is rank 0 of 1 and nothing is started.

#include <string>

namespace sw::mpi {

/// True when this build has MPI.
bool built();

/// The MPI library, for --version: "OpenMPI 4.1.4" (empty without MPI).
std::string libraryText();

/// True when the process was started by mpirun (or a launcher of the same library), so
/// that it is one of several ranks even before MPI is started.
bool launched();

/// Starts MPI with threads funnelled (only the thread that started MPI calls it; OpenMP
/// threads never do), once; finish() is also registered to run at exit.  A process not
/// started by mpirun becomes a world of one rank.  Nothing without MPI.
void start();

/// Ends MPI when it was started and not yet ended.  Called once at the end of main and
/// at exit; a second call does nothing.
void finish();

/// True between start() and finish().
bool running();

/// This process's rank and the number of ranks in the world (0 and 1 while MPI is not
/// running, or without MPI).
int rank();
int size();

/// Ends every rank at once with `status` (MPI_Abort), for a failure after which the ranks
/// can no longer agree on an ending; std::exit without MPI.
[[noreturn]] void abortAll(int status);

}  // namespace sw::mpi

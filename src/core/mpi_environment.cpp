#include "core/mpi_environment.hpp"

#include <cstdlib>

#if defined(STRIPWAVE_MPI)
#include <mpi.h>
#endif

namespace sw::mpi {

bool built() {
#if defined(STRIPWAVE_MPI)
  return true;
#else
  return false;
#endif
}

std::string libraryText() {
#if defined(STRIPWAVE_MPI) && defined(OMPI_MAJOR_VERSION)
  return "OpenMPI " + std::to_string(OMPI_MAJOR_VERSION) + "." +
         std::to_string(OMPI_MINOR_VERSION) + "." + std::to_string(OMPI_RELEASE_VERSION);
#elif defined(STRIPWAVE_MPI)
  return "MPI " + std::to_string(MPI_VERSION) + "." + std::to_string(MPI_SUBVERSION);
#else
  return {};
#endif
}

bool launched() {
  // OpenMPI's launcher names the size of the world; PMIx and PMI launchers their rank.
  for (const char* name : {"OMPI_COMM_WORLD_SIZE", "PMIX_RANK", "PMI_RANK"})
    if (std::getenv(name) != nullptr) return true;
  return false;
}

#if defined(STRIPWAVE_MPI)

bool running() {
  int started = 0, ended = 0;
  MPI_Initialized(&started);
  MPI_Finalized(&ended);
  return started != 0 && ended == 0;
}

void start() {
  int started = 0;
  MPI_Initialized(&started);
  if (started != 0) return;
  int provided = 0;
  MPI_Init_thread(nullptr, nullptr, MPI_THREAD_FUNNELED, &provided);
  // Errors come back as codes, which the callers turn into the run's failures.
  MPI_Comm_set_errhandler(MPI_COMM_WORLD, MPI_ERRORS_RETURN);
  std::atexit(finish);
}

void finish() {
  if (running()) MPI_Finalize();
}

int rank() {
  if (!running()) return 0;
  int r = 0;
  MPI_Comm_rank(MPI_COMM_WORLD, &r);
  return r;
}

int size() {
  if (!running()) return 1;
  int n = 1;
  MPI_Comm_size(MPI_COMM_WORLD, &n);
  return n;
}

void abortAll(int status) {
  if (running()) MPI_Abort(MPI_COMM_WORLD, status);
  std::exit(status);
}

#else

bool running() { return false; }
void start() {}
void finish() {}
int rank() { return 0; }
int size() { return 1; }
void abortAll(int status) { std::exit(status); }

#endif

}  // namespace sw::mpi

#include "app/wait_policy.hpp"

#include <unistd.h>

#include <cstdlib>

namespace sw {

void waitPassivelyUnlessChosen(char** argv) {
  if (std::getenv("OMP_WAIT_POLICY") != nullptr || std::getenv("GOMP_SPINCOUNT") != nullptr)
    return;
  if (setenv("OMP_WAIT_POLICY", "PASSIVE", 0) != 0) return;
  // The same program with the same arguments and process id; the variable now set ends
  // the chain.  When this fails the run goes on with the runtime's own policy.
  execv("/proc/self/exe", argv);
}

}  // namespace sw

#include <cstdio>

#include "app/options.hpp"
#include "app/run.hpp"
#include "app/wait_policy.hpp"

int main(int argc, char** argv) {
  const sw::CommandLine cl = sw::parseCommandLine(argc, argv);
  if (!cl.run) {
    std::fputs(cl.out.c_str(), stdout);
    std::fputs(cl.err.c_str(), stderr);
    return cl.status;
  }
  sw::waitPassivelyUnlessChosen(argv);
  return sw::runMain(*cl.run);
}

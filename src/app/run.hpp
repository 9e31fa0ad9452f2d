#pragma once
/// One complete simulation, run in the run directory of the command line.

#include "app/options.hpp"

namespace sw {

/// Runs the simulation and returns the process exit status: 0 on a normal end or a
/// plain stop, the stop code's low 8 bits after a coded stop, or one of the failure
/// statuses of core/exit_status.hpp.  Messages, progress and the summary go to the
/// standard error stream.
int runMain(const Options& opt = {});

}  // namespace sw

#pragma once
/// The frequency loop run in memory on a layered model, and the comparison of two runs.

#include <string>

#include "app/frequency_loop.hpp"
#include "support/layered_model.hpp"

namespace sw::test {

/// What a run of the frequency loop leaves: the edge fields, the accumulators, the log.
struct LoopOutcome {
  EdgeFields fields;
  Accumulators acc;
  std::string log;
};

/// Runs every frequency of `model` with the log in a scratch directory.
LoopOutcome runLoop(const LayeredModel& model, int threads = 0, Kernels kernels = Kernels::lanes,
                    Acceleration acceleration = Acceleration::off);

/// Expects the same log, and the same bits in every edge array and accumulator.
void expectSameResults(const LoopOutcome& got, const LoopOutcome& want, const std::string& what);

}  // namespace sw::test

#pragma once
/// The strip iteration of a synthetic model driven one frequency at a time, without the
/// frequency loop: for tests and benchmarks of the solver itself.

#include <span>

#include "core/constants.hpp"
#include "core/frequency.hpp"
#include "model/point_source.hpp"
#include "solvers/strip_iteration.hpp"
#include "support/layered_model.hpp"

namespace sw::test {

/// An observer that looks at nothing.
class IgnorePasses final : public SolveObserver {
 public:
  void pass(int, int, double, double) override {}
};

/// The strip iteration of `model` with the given settings (threads 0: one per core).
inline StripIteration stripIteration(const LayeredModel& model, int threads = 1,
                                     Kernels kernels = Kernels::lanes,
                                     Acceleration acceleration = Acceleration::off) {
  return StripIteration(StripGrid{model.par.nx, model.par.ny, model.par.h}, model.tabled,
                        StripIterationSettings{threads, kernels, acceleration, 1});
}

/// The source of the model's deck at frequency index jw.
inline PointSource deckSource(const LayeredModel& model, int jw) {
  return PointSource{model.par.kdel, model.par.jsou, model.par.ksou, model.sour(jw)};
}

/// Factors frequency index jw at 2 pi times its frequency.
inline void factorAt(FrequencySolver& solver, const LayeredModel& model, int jw) {
  solver.factor(jw, frequencyOfIndex(jw, model.par.delf) * kTwoPi);
}

/// Solves frequency index jw (factored) for the deck's source with the deck's limits.
inline SolveOutcome solveDeckSource(FrequencySolver& solver, const LayeredModel& model, int jw) {
  const PointSource src = deckSource(model, jw);
  const IterationLimits limits{jw <= model.par.jwlow ? model.par.maxlow : model.par.maxiter,
                               model.par.reduc};
  IgnorePasses quiet;
  SolveOutcome out;
  solver.solve(jw, std::span<const PointSource>(&src, 1), limits, quiet,
               std::span<SolveOutcome>(&out, 1));
  return out;
}

}  // namespace sw::test

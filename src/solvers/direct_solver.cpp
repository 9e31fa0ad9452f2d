#include "solvers/direct_solver.hpp"

#include <malloc.h>

#include <climits>

#include "core/check.hpp"

namespace sw {

namespace {

/// Every frequency's factorisation allocates and frees the same large blocks.  Served by
/// mappings of their own, they would come back from the kernel as fresh pages, faulted in
/// and cleared again each time: 40 % of a run on the layered example.  Kept in the heap
/// instead, each factorisation after the first reuses the pages of the one before; the
/// peak stays that of the largest factorisation.
void keepFreedBlocksForReuse() {
  mallopt(M_MMAP_MAX, 0);
  mallopt(M_TRIM_THRESHOLD, INT_MAX);
}

}  // namespace

DirectSolver::DirectSolver(const StripGrid& grid, const MaterialModel& materials,
                           const DirectSettings& settings)
    : grid_(grid),
      materials_(materials),
      settings_(settings),
      sys_(grid.nx, grid.ny, grid.h, false),
      a_(grid.nx, grid.ny),
      mumps_((keepFreedBlocksForReuse(), std::make_unique<MumpsSolver>(a_, settings.ordering, settings.ranks))) {
  SW_CHECK(settings_.threads >= 1 && settings_.shots >= 1, "threads and shots of a run");
  sys_.damping = settings_.damping;
  sys_.roots.tractionFreeTop = grid.freeSurface;
  const std::size_t n = static_cast<std::size_t>(a_.order());
  const std::size_t shots = static_cast<std::size_t>(settings_.shots);
  b_.resize(n * shots);
  x_.resize(n * shots);
  work_.resize(n);
  fields_.assign(shots, EdgeFields(grid.nx, grid.ny));
}

void DirectSolver::factor(int jw, double omega) {
  setWholeGridFrequency(sys_, jw, omega, materials_, settings_.threads);
  a_.assemble(sys_, settings_.threads);
  mumps_->factor(a_);
}

void DirectSolver::solve(int /*jw*/, std::span<const PointSource> sources,
                         const IterationLimits& /*limits*/, SolveObserver& /*observer*/,
                         std::span<SolveOutcome> outcomes) {
  const int shots = settings_.shots;
  SW_CHECK(static_cast<int>(sources.size()) == shots &&
               static_cast<int>(outcomes.size()) == shots,
           "one source and one outcome per shot");
  const std::size_t n = static_cast<std::size_t>(a_.order());
  for (int k = 0; k < shots; ++k)
    wholeGridRightHandSide(a_.numbering(), grid_.h, sources[static_cast<std::size_t>(k)],
                           &b_[n * static_cast<std::size_t>(k)]);
  x_ = b_;
  mumps_->solve(x_.data(), shots);
  for (int k = 0; k < shots; ++k) {
    const std::size_t at = n * static_cast<std::size_t>(k);
    SolveOutcome& out = outcomes[static_cast<std::size_t>(k)];
    out = SolveOutcome{};
    out.converged = true;
    out.residual = relativeResidual(a_, &x_[at], &b_[at], work_.data());
    wholeGridToEdgeFields(a_.numbering(), &x_[at], fields_[static_cast<std::size_t>(k)]);
  }
}

const EdgeFields& DirectSolver::fields(int shot) {
  SW_CHECK(shot >= 0 && shot < settings_.shots, "shot of the run");
  return fields_[static_cast<std::size_t>(shot)];
}

std::size_t DirectSolver::bytes() const {
  const std::size_t pattern = a_.rows().size() * (2 * sizeof(int) + sizeof(Cx));
  const std::size_t vectors = (b_.size() + x_.size() + work_.size()) * sizeof(Cx);
  const double factorsMb = settings_.ranks == MumpsRanks::world
                               ? mumps_->rankMemory().front().estimateMb
                               : estimate().memoryMb;
  return pattern + vectors + static_cast<std::size_t>(factorsMb * 1048576.0);
}

}  // namespace sw

#include "solvers/strip_iteration.hpp"

#include <omp.h>

#include <cstdint>

#include "core/check.hpp"
#include "coupling/relaxation.hpp"
#include "coupling/sweep.hpp"
#include "strip/assemble_strip.hpp"

namespace sw {

namespace {

/// Tells the solver's observer of the passes of one shot.
class ShotPasses final : public PassObserver {
 public:
  ShotPasses(int shot, SolveObserver& to) : shot_(shot), to_(to) {}
  void pass(int iter, double relerr, double errden) override {
    to_.pass(shot_, iter, relerr, errden);
  }

 private:
  int shot_;
  SolveObserver& to_;
};

/// `settings` with the kernels a system over `materials` runs; GMRES runs on the scalar
/// kernels (the lane pass relaxes within it).
StripIterationSettings withKernels(StripIterationSettings settings,
                                   const MaterialModel& materials) {
  settings.kernels = settings.acceleration == Acceleration::krylov
                         ? Kernels::scalar
                         : kernelsFor(settings.kernels, materials);
  return settings;
}

}  // namespace

LaneLayoutTerms systemTerms(const MaterialModel& materials) {
  LaneLayoutTerms t;
  if (materials.stretchesCoordinates()) {
    t.realDensity = false;
    t.imaginaryHorizontal = false;
  }
  return t;
}

bool laneLayoutHolds(const LaneLayoutTerms& terms) {
  return terms.realDensity && terms.imaginaryHorizontal && terms.symmetricBlocks;
}

Kernels kernelsFor(Kernels requested, const MaterialModel& materials) {
  if (requested == Kernels::lanes && !laneLayoutHolds(systemTerms(materials)))
    return Kernels::scalar;
  return requested;
}

StripIteration::StripIteration(const StripGrid& grid, const MaterialModel& materials,
                               const StripIterationSettings& settings)
    : grid_(grid),
      materials_(materials),
      settings_(withKernels(settings, materials)),
      sys_(grid.nx, grid.ny, grid.h, settings_.kernels == Kernels::scalar),
      carried_(grid.nx, grid.ny) {
  SW_CHECK(settings_.threads >= 1 && settings_.shots >= 1, "threads and shots of a run");
  sys_.damping = settings_.damping;
  sys_.roots.tractionFreeTop = grid.freeSurface;
  const int nx = grid.nx, ny = grid.ny;
  const std::size_t t = static_cast<std::size_t>(settings_.threads);
  state_.resize(static_cast<std::size_t>(settings_.shots));
  for (ShotState& s : state_) s.ctl.threads = settings_.threads;
  if (settings_.kernels == Kernels::scalar) {
    factors_ = StripFactors(nx, ny);
    work_.assign(t, StripWork(nx));
    for (ShotState& s : state_) s.cur = EdgeFields(nx, ny);
    prev_ = EdgeFields(nx, ny);
  } else {
    groups_ = StripGroups(ny);
    laneFactors_ = LaneFactors(nx, groups_.count[0] + groups_.count[1]);
    laneBeta_ = LaneBetas(nx, ny);
    for (ShotState& s : state_) s.laneCur = LaneFields(nx, ny);
    lanePass_ = LanePass(nx, ny, settings_.threads);
    bands_.assign(t, std::vector<BandMatrix>(static_cast<std::size_t>(kLanes), BandMatrix(nx)));
  }
  if (settings_.acceleration == Acceleration::krylov)
    krylov_ = std::make_unique<KrylovIteration>(carried_.size(), KrylovSettings{},
                                                settings_.threads);
  else if (settings_.acceleration != Acceleration::off)
    accel_ = std::make_unique<AcceleratedIteration>(carried_.size(), AndersonSettings{},
                                                    settings_.threads, settings_.acceleration,
                                                    settings_.shots);
}

void StripIteration::factor(int jw, double omega) {
  if (settings_.kernels == Kernels::lanes) {
    sys_.setMedium(jw, omega, materials_, settings_.threads);
    SW_CHECK(!sys_.med.stretched(), "the lane layout over a medium without stretches");
    return assembleLanes();
  }
  sys_.setFrequency(jw, omega, materials_, settings_.threads);
  assembleScalar();
}

void StripIteration::assembleScalar() {
  // Each strip writes only its own column of the factors.
#pragma omp parallel for schedule(static) num_threads(settings_.threads)
  for (int k = 1; k <= sys_.ny; ++k)
    assembleStrip(k, sys_, work_[static_cast<std::size_t>(omp_get_thread_num())], factors_);
}

void StripIteration::keepVerticalParameters() {
  laneBeta_.begin(true);
  interfaceParameters(sys_.omega, sys_.med, laneBeta_, sys_.roots, settings_.threads);
}

void StripIteration::assembleLanes() {
  bool keeps = false;
  for (const ShotState& s : state_) keeps = keeps || s.laneCur.keepsVertical();
  laneBeta_.begin(keeps);
  interfaceParameters(sys_.omega, sys_.med, laneBeta_, sys_.roots, settings_.threads);
  // The vertical multipliers are kept while they may differ from +0.
  if (!laneBeta_.verticalClean()) {
    if (!keeps) {
      for (ShotState& s : state_) s.laneCur.keepVertical();
      keepVerticalParameters();
    }
  } else {
    for (ShotState& s : state_) s.laneCur.dropVerticalIfZero();
  }

  const int groups = groups_.count[0] + groups_.count[1];
  // Each group of strips writes only its own block of the factors.
#pragma omp parallel num_threads(settings_.threads)
  {
    std::vector<BandMatrix>& bands = bands_[static_cast<std::size_t>(omp_get_thread_num())];
    StripEdgeParameters beta;
#pragma omp for schedule(dynamic)
    for (int fg = 0; fg < groups; ++fg) {
      const int p = fg < groups_.count[0] ? 0 : 1;
      const int g = p == 0 ? fg : fg - groups_.count[0];
      const BandMatrix* lanes[kLanes];
      for (int l = 0; l < kLanes; ++l) {
        const int s = StripGroups::strip(p, g, l);
        if (s <= sys_.ny) {
          laneBeta_.stripParameters(s, beta);
          assembleStripMatrix(s, sys_, beta, bands[static_cast<std::size_t>(l)]);
          lanes[l] = &bands[static_cast<std::size_t>(l)];
        } else {
          lanes[l] = lanes[0];  // beyond the grid: any strip will do, its results are dropped
        }
      }
      factorLanes(sys_.nx, lanes, laneFactors_.block(fg));
    }
  }
}

LaneSystem StripIteration::laneSystem(const PointSource& src) const {
  LaneSystem ls;
  ls.factors = &laneFactors_;
  ls.beta = &laneBeta_;
  ls.del = &sys_.del;
  ls.h = sys_.h;
  ls.src = src;
  return ls;
}

void StripIteration::solve(int jw, std::span<const PointSource> sources,
                           const IterationLimits& limits, SolveObserver& observer,
                           std::span<SolveOutcome> outcomes) {
  SW_CHECK(sources.size() == state_.size() && outcomes.size() == state_.size(),
           "a source and an outcome for every shot");
  for (std::size_t k = 0; k < state_.size(); ++k) {
    const int shot = static_cast<int>(k);
    ShotState& s = state_[k];
    s.ctl.maxit = limits.maxit;
    s.ctl.reduc = limits.reduc;
    ShotPasses passes(shot, observer);
    const IterationResult r = settings_.kernels == Kernels::lanes
                                  ? iterateLanes(shot, jw, sources[k], passes)
                                  : iterateScalar(shot, jw, sources[k], passes);
    outcomes[k] = SolveOutcome{r.converged, r.passes, s.ctl.relerr, std::nullopt};
  }
}

IterationResult StripIteration::iterateScalar(int shot, int jw, const PointSource& src,
                                              PassObserver& observer) {
  ShotState& s = state_[static_cast<std::size_t>(shot)];
  IterationControl& ctl = s.ctl;
  EdgeFields& cur = s.cur;
  const auto sweep = [&] { sweepStrips(sys_, factors_, src, cur, work_); };
  if (!accel_ && !krylov_) return iterateFrequency(jw, ctl, cur, prev_, sweep, observer);
  // GMRES chooses every state a pass starts from: its pass is the sweep alone, whose
  // result is then a function of the carried state.  Mixing keeps the relaxation.
  const bool relaxes = !krylov_;
  const Pass pass = [&](bool measure) {
    savePreviousIterate(cur, prev_, ctl.threads);
    sweep();
    if (relaxes) relax(cur, prev_, ctl.threads);
    return measure ? measureChange(cur, prev_, ctl.terms, ctl.threads) : Change{};
  };
  const CarriedAccess state{
      carried_.size(), [&](Cx* x) { carried_.extract(cur, sys_.beta, x, ctl.threads); },
      [&](const Cx* x) { carried_.insert(x, sys_.beta, cur, ctl.threads); }};
  if (krylov_) return krylov_->iterate(jw, ctl, pass, state, observer);
  return accel_->iterate(shot, jw, ctl, pass, state, observer);
}

IterationResult StripIteration::iterateLanes(int shot, int jw, const PointSource& src,
                                             PassObserver& observer) {
  ShotState& s = state_[static_cast<std::size_t>(shot)];
  IterationControl& ctl = s.ctl;
  LaneFields& cur = s.laneCur;
  s.exported = false;
  const LaneSystem ls = laneSystem(src);
  lanePass_.begin();
  // A mixed frequency alters the fields after most passes: its passes do not make the odd
  // phase of the next pass ahead.  Nor does the last pass the limit allows.
  const bool mixed = accel_ && accel_->mixesNext(shot);
  int made = 0;
  const Pass pass = [&](bool measure) {
    const bool ahead = !mixed && ++made < ctl.maxit;
    switch (lanePass_.run(cur, ls, measure, ahead)) {
      case LanePassResult::done:
        break;
      case LanePassResult::again: {
        cur.keepVertical();
        keepVerticalParameters();
        const LanePassResult again = lanePass_.run(cur, ls, measure, ahead);
        SW_CHECK(again == LanePassResult::done, "a pass keeping every multiplier completes");
        break;
      }
      case LanePassResult::finishVertical:
        keepVerticalParameters();
        lanePass_.finishVertical(cur, laneBeta_);
        break;
    }
    return measure ? Change{lanePass_.sums().errnum, lanePass_.sums().errden} : Change{};
  };
  if (!accel_) return iteratePasses(jw, ctl, pass, observer);
  // The carried state leaves out the vertical multipliers inside the strips, which stay +0
  // while the fields are finite (when kept, the fields have not been).
  const CarriedAccess state{carried_.size(),
                            [&](Cx* x) { carried_.extract(cur, laneBeta_, x, settings_.threads); },
                            [&](const Cx* x) {
                              carried_.insert(x, laneBeta_, cur, settings_.threads);
                              lanePass_.begin();
                            }};
  return accel_->iterate(shot, jw, ctl, pass, state, observer);
}

const EdgeFields& StripIteration::fields(int shot) {
  ShotState& s = state_[static_cast<std::size_t>(shot)];
  if (settings_.kernels == Kernels::lanes && !s.exported) {
    if (s.cur.nx() != grid_.nx) s.cur = EdgeFields(grid_.nx, grid_.ny);
    s.laneCur.exportTo(s.cur);
    s.exported = true;
  }
  return s.cur;
}

void StripIteration::saveCarried(StateWriter& out) const {
  out.value(static_cast<std::uint8_t>(settings_.kernels == Kernels::lanes));
  out.value(static_cast<std::uint8_t>(accel_ != nullptr));
  for (const ShotState& s : state_) {
    out.value(s.ctl.relerr);
    if (settings_.kernels == Kernels::lanes) {
      out.value(static_cast<std::uint8_t>(s.laneCur.keepsVertical()));
      out.array(s.laneCur.values());
      out.array(s.laneCur.verticalValues());
    } else {
      for (const Grid<Cx>* g : s.cur.arrays()) out.array(std::span<const Cx>(g->data(), g->size()));
    }
  }
  if (accel_) accel_->saveCarried(out);
}

void StripIteration::restoreCarried(StateReader& in) {
  if (in.value<std::uint8_t>() != (settings_.kernels == Kernels::lanes ? 1 : 0) ||
      in.value<std::uint8_t>() != (accel_ != nullptr ? 1 : 0))
    throw StateMismatch("the state of another kind of iteration");
  for (ShotState& s : state_) {
    s.ctl.relerr = in.value<double>();
    if (settings_.kernels == Kernels::lanes) {
      const bool keeps = in.value<std::uint8_t>() != 0;
      if (keeps) s.laneCur.keepVertical();
      if (s.laneCur.keepsVertical() != keeps)
        throw StateMismatch("vertical multipliers kept where they were not");
      in.array(s.laneCur.values());
      in.array(s.laneCur.verticalValues());
      s.exported = false;
    } else {
      for (Grid<Cx>* g : s.cur.arrays()) in.array(std::span<Cx>(g->data(), g->size()));
    }
  }
  if (accel_) accel_->restoreCarried(in);
}

double StripIteration::bytesPerPass() const {
  return settings_.kernels == Kernels::lanes ? lanePass_.bytesPerPass(laneSystem(PointSource{}))
                                             : 0.0;
}

std::size_t StripIteration::bytes() const {
  std::size_t b = accelerationBytes() + (krylov_ ? krylov_->bytes() : 0);
  for (const ShotState& s : state_) b += s.laneCur.bytes();
  return b;
}

}  // namespace sw

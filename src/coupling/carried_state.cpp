#include "coupling/carried_state.hpp"

#include "core/check.hpp"

namespace sw {

namespace {

/// The even side of the edge above strip j: (grid row, side).
struct EvenSide {
  int row;
  Edge side;
};
EvenSide evenSide(int j) { return j % 2 == 1 ? EvenSide{j + 1, Edge::b} : EvenSide{j, Edge::t}; }

/// beta u of one edge, component 1 and 2, in the order of the Robin terms of the strips.
struct Pair {
  Cx first, second;
};
Pair betaTimesU(const InterfaceParameters& beta, const EdgeFields& f, Edge e, int i, int j) {
  const Cx b11 = beta.b11[e](i, j), b12 = beta.b12[e](i, j), b22 = beta.b22[e](i, j);
  const Cx u1 = f.u1[e](i, j), u2 = f.u2[e](i, j);
  return {b11 * u1 + b12 * u2, b22 * u2 + b12 * u1};
}

/// beta u from the parameters b (imaginary parts of b11, b12, b22) in lane bl and the
/// displacements of the element record v in lane l, on its b side or its t side.
Pair betaTimesU(const Lane* b, int bl, const LaneCx* v, bool bottom, int l) {
  const Cx b11{0.0, b[0][bl]}, b12{0.0, b[1][bl]}, b22{0.0, b[2][bl]};
  const Cx u1 = lane(v[bottom ? field::kU1b : field::kU1t], l);
  const Cx u2 = lane(v[bottom ? field::kU2b : field::kU2t], l);
  return {b11 * u1 + b12 * u2, b22 * u2 + b12 * u1};
}

/// Calls f(j, bottom, slot) for the even side of every interior horizontal edge, the edge
/// above strip j: the b side (bottom) of strip j+1 or the t side of strip j.  The even
/// groups are shared out whole, so no two threads write one group's record.
template <class F>
void forEvenSides(const StripGroups& groups, int threads, F f) {
  const int ny = groups.ny;
#pragma omp parallel for schedule(static) num_threads(threads)
  for (int g = 0; g < groups.count[1]; ++g)
    for (int l = 0; l < kLanes; ++l) {
      const int s = StripGroups::strip(1, g, l);
      if (s > ny) continue;
      const LaneSlot at{1, g, l};
      f(s - 1, true, at);
      if (s < ny) f(s, false, at);
    }
}

}  // namespace

void CarriedState::extract(const EdgeFields& f, const InterfaceParameters& beta, Cx* x,
                           int threads) const {
  SW_CHECK(f.nx() == nx_ && f.ny() == ny_, "fields of the grid of the state");
  const int nx = nx_;
#pragma omp parallel for schedule(static) num_threads(threads)
  for (int j = 1; j < ny_; ++j) {
    Cx* out = x + 2 * static_cast<std::size_t>(nx) * static_cast<std::size_t>(j - 1);
    const EvenSide at = evenSide(j);
    for (int i = 1; i <= nx; ++i) {
      const Pair bu = betaTimesU(beta, f, at.side, i, at.row);
      out[2 * (i - 1)] = bu.first + f.lag1[at.side](i, at.row);
      out[2 * (i - 1) + 1] = bu.second + f.lag2[at.side](i, at.row);
    }
  }
}

void CarriedState::insert(const Cx* x, const InterfaceParameters& beta, EdgeFields& f,
                          int threads) const {
  SW_CHECK(f.nx() == nx_ && f.ny() == ny_, "fields of the grid of the state");
  const int nx = nx_;
#pragma omp parallel for schedule(static) num_threads(threads)
  for (int j = 1; j < ny_; ++j) {
    const Cx* in = x + 2 * static_cast<std::size_t>(nx) * static_cast<std::size_t>(j - 1);
    const EvenSide at = evenSide(j);
    for (int i = 1; i <= nx; ++i) {
      const Pair bu = betaTimesU(beta, f, at.side, i, at.row);
      f.lag1[at.side](i, at.row) = in[2 * (i - 1)] - bu.first;
      f.lag2[at.side](i, at.row) = in[2 * (i - 1) + 1] - bu.second;
    }
  }
}

void CarriedState::extract(const LaneFields& f, const LaneBetas& beta, Cx* x, int threads) const {
  SW_CHECK(f.nx() == nx_ && f.groups().ny == ny_, "fields of the grid of the state");
  const int nx = nx_;
  forEvenSides(f.groups(), threads, [&](int j, bool bottom, const LaneSlot& at) {
    const LaneSlot e = StripGroups::slot(j + 1);  // edge j+1 keeps its parameters there
    const LaneCx* block = f.block(at.p, at.group);
    Cx* out = x + 2 * static_cast<std::size_t>(nx) * static_cast<std::size_t>(j - 1);
    for (int i = 1; i <= nx; ++i) {
      const LaneCx* v = block + static_cast<std::size_t>(i - 1) * field::kPerElement;
      const Pair bu = betaTimesU(beta.edge(e.p, e.group, i), e.lane, v, bottom, at.lane);
      out[2 * (i - 1)] = bu.first + lane(v[bottom ? field::kG1b : field::kG1t], at.lane);
      out[2 * (i - 1) + 1] = bu.second + lane(v[bottom ? field::kG2b : field::kG2t], at.lane);
    }
  });
}

void CarriedState::insert(const Cx* x, const LaneBetas& beta, LaneFields& f, int threads) const {
  SW_CHECK(f.nx() == nx_ && f.groups().ny == ny_, "fields of the grid of the state");
  const int nx = nx_;
  forEvenSides(f.groups(), threads, [&](int j, bool bottom, const LaneSlot& at) {
    const LaneSlot e = StripGroups::slot(j + 1);
    LaneCx* block = f.block(at.p, at.group);
    const Cx* in = x + 2 * static_cast<std::size_t>(nx) * static_cast<std::size_t>(j - 1);
    for (int i = 1; i <= nx; ++i) {
      LaneCx* v = block + static_cast<std::size_t>(i - 1) * field::kPerElement;
      const Pair bu = betaTimesU(beta.edge(e.p, e.group, i), e.lane, v, bottom, at.lane);
      setLane(v[bottom ? field::kG1b : field::kG1t], at.lane, in[2 * (i - 1)] - bu.first);
      setLane(v[bottom ? field::kG2b : field::kG2t], at.lane, in[2 * (i - 1) + 1] - bu.second);
    }
  });
}

}  // namespace sw

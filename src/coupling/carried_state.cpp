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

}  // namespace sw

#include "driver/interface_state.hpp"

namespace sw {

namespace {

/// Row of the even side of the edge between rows j and j + 1, and its edge letter.
struct EvenSide {
  int row;
  Grid<Cx> EdgeQuantity::*edge;
};

EvenSide evenSide(int j) {
  return j % 2 == 0 ? EvenSide{j, &EdgeQuantity::t} : EvenSide{j + 1, &EdgeQuantity::b};
}

}  // namespace

void InterfaceState::gather(const EdgeFields& f, const Betas& beta, Cx* g, int threads) const {
  const int nx = nx_;
#pragma omp parallel for schedule(static) num_threads(threads)
  for (int j = 1; j < ny_; ++j) {
    const EvenSide e = evenSide(j);
    Cx* out = g + 2 * static_cast<std::size_t>(nx) * static_cast<std::size_t>(j - 1);
    for (int i = 1; i <= nx; ++i) {
      const Cx b11 = (beta.b11.*e.edge)(i, e.row);
      const Cx b12 = (beta.b12.*e.edge)(i, e.row);
      const Cx b22 = (beta.b22.*e.edge)(i, e.row);
      const Cx u1 = (f.u1.*e.edge)(i, e.row);
      const Cx u2 = (f.u2.*e.edge)(i, e.row);
      out[2 * (i - 1)] = (b11 * u1 + (f.lag1.*e.edge)(i, e.row)) + b12 * u2;
      out[2 * (i - 1) + 1] = (b22 * u2 + (f.lag2.*e.edge)(i, e.row)) + b12 * u1;
    }
  }
}

void InterfaceState::scatter(const Cx* g, EdgeFields& f, int threads) const {
  const int nx = nx_;
#pragma omp parallel for schedule(static) num_threads(threads)
  for (int j = 1; j < ny_; ++j) {
    const EvenSide e = evenSide(j);
    const Cx* in = g + 2 * static_cast<std::size_t>(nx) * static_cast<std::size_t>(j - 1);
    for (int i = 1; i <= nx; ++i) {
      (f.u1.*e.edge)(i, e.row) = Cx{};
      (f.u2.*e.edge)(i, e.row) = Cx{};
      (f.lag1.*e.edge)(i, e.row) = in[2 * (i - 1)];
      (f.lag2.*e.edge)(i, e.row) = in[2 * (i - 1) + 1];
    }
  }
}

}  // namespace sw

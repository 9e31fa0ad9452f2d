#include "coupling/relaxation.hpp"

#include "core/check.hpp"

namespace sw {

void savePreviousIterate(const EdgeFields& cur, EdgeFields& prev, int threads) {
  SW_CHECK(prev.nx() == cur.nx() && prev.ny() == cur.ny(), "iterates of one grid");
  const auto from = cur.arrays();
  const auto to = prev.arrays();
#pragma omp parallel for schedule(static) num_threads(threads)
  for (int a = 0; a < 16; ++a) *to[a] = *from[a];
}

void relax(EdgeFields& cur, const EdgeFields& prev, int threads) {
  const int nx = cur.nx(), ny = cur.ny();
  SW_CHECK(prev.nx() == nx && prev.ny() == ny, "iterates of one grid");
  const auto x = cur.arrays();
  const auto xp = prev.arrays();
#pragma omp parallel for schedule(static) num_threads(threads)
  for (int j = 1; j <= ny; ++j) {
    for (int a = 0; a < 16; ++a) {
      Cx* row = &(*x[a])(1, j);
      const Cx* prow = &(*xp[a])(1, j);
      for (int i = 0; i < nx; ++i) row[i] = relaxed(row[i], prow[i]);
    }
  }
}

}  // namespace sw

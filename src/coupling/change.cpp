#include "coupling/change.hpp"

#include <cstddef>

#include "core/check.hpp"
#include "coupling/edge_terms.hpp"

namespace sw {

Change measureChange(const EdgeFields& cur, const EdgeFields& prev, ChangeTerms& terms,
                     int threads) {
  const int nx = cur.nx(), ny = cur.ny();
  SW_CHECK(prev.nx() == nx && prev.ny() == ny, "iterates of one grid");
  const auto x = cur.displacements();
  const auto xp = prev.displacements();
  const std::size_t count = 8 * static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny);
  terms.num.resize(count);
  terms.den.resize(count);

  // The squared moduli, row by row in parallel, each stored at its place in the sums.
#pragma omp parallel for schedule(static) num_threads(threads)
  for (int j = 1; j <= ny; ++j) {
    for (int a = 0; a < 8; ++a) {
      const Cx* row = &(*x[a])(1, j);
      const Cx* prow = &(*xp[a])(1, j);
      std::size_t at = 8 * static_cast<std::size_t>(j - 1) + static_cast<std::size_t>(a);
      for (int i = 0; i < nx; ++i, at += 8 * static_cast<std::size_t>(ny)) {
        changeTerms(prow[i], row[i], terms.num[at], terms.den[at]);
      }
    }
  }

  // Each sum is taken serially in the order i outer, j inner, arrays in turn, so that it
  // and the logged values derived from it are reproducible to the last bit; the two sums
  // are independent and run side by side.
  Change c;
#pragma omp parallel sections num_threads(threads > 1 ? 2 : 1)
  {
#pragma omp section
    for (const double t : terms.num) c.errnum = c.errnum + t;
#pragma omp section
    for (const double t : terms.den) c.errden = c.errden + t;
  }
  return c;
}

}  // namespace sw

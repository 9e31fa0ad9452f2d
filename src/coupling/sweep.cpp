#include "coupling/sweep.hpp"

#include <omp.h>

#include <cstddef>

#include "coupling/multipliers.hpp"
#include "coupling/strip_displacements.hpp"

namespace sw {

void sweepStrips(const StripSystem& sys, const StripFactors& f, const PointSource& src,
                 EdgeFields& cur, std::vector<StripWork>& work) {
  const int ny = sys.ny;
  const int threads = static_cast<int>(work.size());
  // Odd strips first, then even ones: a strip of one parity sees its neighbours'
  // data of this pass (even strips) or of the previous pass (odd strips).  Within a
  // parity each strip's solve and multiplier update read rows of the other parity and
  // write only their own row, so the strips may run in any order and at the same time,
  // and a strip's update may follow its own solve at once: the results are those of
  // all solves first, then all updates, in ascending order.
  for (const int first : {1, 2}) {
    const int count = ny >= first ? (ny - first) / 2 + 1 : 0;
#pragma omp parallel for schedule(static) num_threads(threads)
    for (int n = 0; n < count; ++n) {
      const int k = first + 2 * n;
      solveStripDisplacements(k, sys, f, src, cur,
                              work[static_cast<std::size_t>(omp_get_thread_num())]);
      updateMultipliers(k, sys.beta, cur);
    }
  }
}

}  // namespace sw

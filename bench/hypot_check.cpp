// Compares the lane hypot with the C library's hypot on 10^9 generated pairs (raw bit
// patterns, the library's scaling thresholds, ties, zeros, subnormals, infinities and
// NaN) and prints how many differ.  Usage: hypot_check [pairs] (default 10^9).

#include <omp.h>

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "core/lane_hypot.hpp"
#include "support/hypot_pairs.hpp"
#include "support/numbers.hpp"

int main(int argc, char** argv) {
  const long long total = argc > 1 ? std::atoll(argv[1]) : 1000000000LL;
  long long checked = 0, differ = 0, library = 0;
#pragma omp parallel reduction(+ : checked, differ, library)
  {
    sw::test::HypotPairs pairs(0x5eed0000ULL + static_cast<std::uint64_t>(omp_get_thread_num()));
    const long long share = total / omp_get_num_threads() / sw::kLanes;
    for (long long k = 0; k < share; ++k) {
      sw::Lane x, y;
      for (int l = 0; l < sw::kLanes; ++l) pairs.next(x[l], y[l]);
      const sw::Lane h = sw::hypot(x, y);
      for (int l = 0; l < sw::kLanes; ++l) {
        const double want = std::hypot(x[l], y[l]);
        ++checked;
        if (!sw::test::sameValue(h[l], want)) {
          if (differ < 10)
            std::printf("differs: hypot(%a, %a) = %a, lanes give %a\n", x[l], y[l], want, h[l]);
          ++differ;
        }
        if (!std::isfinite(x[l]) || !std::isfinite(y[l])) ++library;
      }
    }
  }
  std::printf("%lld pairs compared (%lld with an infinite or NaN operand), %lld differ, lanes %d\n",
              checked, library, differ, sw::kLanes);
  return differ == 0 ? 0 : 1;
}

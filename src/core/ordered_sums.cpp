#include "core/ordered_sums.hpp"

#include <algorithm>

namespace sw {

namespace {

/// Columns summed side by side in one sweep over a block.
constexpr std::size_t kChains = 12;

}  // namespace

template <class T>
void innerProducts(const T* const* cols, int ncols, const T* v, std::size_t n, T* out,
                   std::vector<T>& scratch, int threads) {
  const std::size_t c = static_cast<std::size_t>(ncols);
  const std::size_t blocks = (n + kReductionBlock - 1) / kReductionBlock;
  scratch.assign(blocks * c, T{});
  const long nb = static_cast<long>(blocks);
#pragma omp parallel for schedule(static) num_threads(threads)
  for (long b = 0; b < nb; ++b) {
    const std::size_t lo = static_cast<std::size_t>(b) * kReductionBlock;
    const std::size_t hi = std::min(n, lo + kReductionBlock);
    T* sum = &scratch[static_cast<std::size_t>(b) * c];
    // Up to kChains columns side by side: their sums are independent chains, each
    // taken in ascending i as a sum of its own.
    for (std::size_t k0 = 0; k0 < c; k0 += kChains) {
      const std::size_t nk = std::min(kChains, c - k0);
      T s[kChains] = {};
      for (std::size_t i = lo; i < hi; ++i) {
        const T vi = v[i];
        for (std::size_t k = 0; k < nk; ++k) s[k] += conjTimes(cols[k0 + k][i], vi);
      }
      for (std::size_t k = 0; k < nk; ++k) sum[k0 + k] = s[k];
    }
  }
  for (std::size_t k = 0; k < c; ++k) {
    T s{};
    for (std::size_t b = 0; b < blocks; ++b) s += scratch[b * c + k];
    out[k] = s;
  }
}

template <class T>
double squaredNorm(const T* v, std::size_t n, std::vector<T>& scratch, int threads) {
  const T* cols[1] = {v};
  T out[1];
  innerProducts(cols, 1, v, n, out, scratch, threads);
  return realPart(out[0]);
}

template void innerProducts<double>(const double* const*, int, const double*, std::size_t, double*,
                                    std::vector<double>&, int);
template void innerProducts<Cx>(const Cx* const*, int, const Cx*, std::size_t, Cx*,
                                std::vector<Cx>&, int);
template double squaredNorm<double>(const double*, std::size_t, std::vector<double>&, int);
template double squaredNorm<Cx>(const Cx*, std::size_t, std::vector<Cx>&, int);

}  // namespace sw

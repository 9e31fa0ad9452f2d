#include "strip/solve_strip.hpp"

#include "core/check.hpp"
#include "strip/band_lu.hpp"

namespace sw {

void solveStrip(int s, const StripFactors& f, StripWork& work) {
  SW_CHECK(s >= 1 && s <= f.strips() && work.a.rows() == f.unknowns(), "strip and work storage");
  band_lu::solveBand<band_lu::NoPrefetch>(f.nx(), f.packedStrip(s), work.rhs.data(),
                                          work.y.data(), work.answer.data());
}

}  // namespace sw

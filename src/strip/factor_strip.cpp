#include "strip/factor_strip.hpp"

#include "core/check.hpp"
#include "strip/band_lu.hpp"

namespace sw {

void factorStrip(int s, const BandMatrix& a, StripFactors& f) {
  SW_CHECK(s >= 1 && s <= f.strips() && a.rows() >= f.unknowns(), "strip and band of the factors");
  band_lu::factorBand(f.nx(), band_lu::OneBand(a), f.packedStrip(s));
}

}  // namespace sw

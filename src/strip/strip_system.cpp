#include "strip/strip_system.hpp"

namespace sw {

StripSystem::StripSystem(int nx_, int ny_, double h_)
    : nx(nx_),
      ny(ny_),
      h(h_),
      del(boundaryIndicators(nx_, ny_)),
      med(nx_, ny_),
      beta(nx_, ny_),
      roots(nx_, ny_) {}

void StripSystem::setFrequency(int jw, double omega_, const Materials& mat) {
  omega = omega_;
  fillMedium(jw, mat, med);
  interfaceParameters(omega, med, beta, roots);
}

}  // namespace sw

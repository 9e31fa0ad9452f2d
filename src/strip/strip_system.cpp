#include "strip/strip_system.hpp"

namespace sw {

StripSystem::StripSystem(int nx_, int ny_, double h_, bool everyEdge)
    : nx(nx_),
      ny(ny_),
      h(h_),
      del(boundaryIndicators(nx_, ny_)),
      med(nx_, ny_),
      beta(everyEdge ? InterfaceParameters(nx_, ny_) : InterfaceParameters()),
      roots(nx_, ny_) {}

void StripSystem::setFrequency(int jw, double omega_, const MaterialModel& model, int threads) {
  setMedium(jw, omega_, model, threads);
  interfaceParameters(omega, med, beta, roots, threads);
}

void StripSystem::setMedium(int jw, double omega_, const MaterialModel& model, int threads) {
  omega = omega_;
  model.fillMedium(jw, omega_, med, threads);
}

}  // namespace sw

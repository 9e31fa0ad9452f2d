#include "materials/constant_q.hpp"

#include <cmath>

#include "core/constants.hpp"

namespace sw {

double lossExponent(double q) { return std::atan(1.0 / q) / kPi; }

Cx constantQFactor(double g, double ratio) {
  const double c = std::cos(kPi * g / 2.0);
  const double grown = (c * c) * std::pow(ratio, 2.0 * g);
  const double angle = kPi * g;
  return {grown * std::cos(angle), grown * std::sin(angle)};
}

ConstantQTerms constantQTerms(double q) {
  const double g = lossExponent(q);
  const double c = std::cos(kPi * g / 2.0);
  return {2.0 * g, 1.0 / q, (c * c) * std::cos(kPi * g)};
}

double constantQGrowth(double twoG, double logRatio) { return std::exp(twoG * logRatio); }

}  // namespace sw

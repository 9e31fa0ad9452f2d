#pragma once
/// The change between two iterates, from which the relative change of a pass follows.

#include <vector>

#include "coupling/edge_fields.hpp"

namespace sw {

/// The terms of the two sums below, in summation order.
struct ChangeTerms {
  std::vector<double> num, den;
};

/// Sums of squared differences and squared sums of the eight displacement arrays.
struct Change {
  double errnum = 0.0;
  double errden = 0.0;
};

/// errnum = sum |Xp - X|^2 and errden = sum |Xp + X|^2 over i = 1..nx (outer),
/// j = 1..ny (inner) and the displacement arrays u1 l, t, b, r, then u2 l, t, b, r.
/// `terms` is scratch for the squared moduli, which are formed on `threads` threads
/// before the serial sums.
Change measureChange(const EdgeFields& cur, const EdgeFields& prev, ChangeTerms& terms,
                     int threads);

}  // namespace sw

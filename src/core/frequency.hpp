#pragma once
/// The frequency axis: index j = 1, 2, ... stands for the middle of the j-th step.

namespace sw {

/// Frequency of index j for the step `step` (or the angular frequency for an angular
/// step): (j - 1/2) step, the index converted to floating point before the half is added.
inline double frequencyOfIndex(int j, double step) {
  return (static_cast<double>(j - 1) + 0.5) * step;
}

}  // namespace sw

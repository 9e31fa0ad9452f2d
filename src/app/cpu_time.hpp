#pragma once
/// CPU time used by the process.

namespace sw {

/// Returns the user plus system CPU seconds consumed since the previous call (since
/// process start on the first call), with the sum and the difference formed in single
/// precision; `total` keeps the sum of the previous call and starts at 0.
double cpuTimeLap(float& total);

/// User plus system CPU seconds of the process so far, all threads, in double precision.
double cpuSeconds();

}  // namespace sw

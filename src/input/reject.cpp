#include "input/reject.hpp"

#include <climits>
#include <cmath>

#include "driver/stop.hpp"

namespace sw {

void rejectInput(rec::OutFile& log, const std::string& message) {
  const std::string line = "input error: " + message;
  log.writeList({std::string_view(line)});
  log.flush();
  throw InputError(message);
}

std::uint64_t inputSizeBound(std::uint64_t records) { return 256 * records + 65536; }

int truncInt(double x) {
  if (std::isnan(x)) return INT_MAX;
  if (x >= 2147483648.0) return INT_MAX;
  if (x <= -2147483649.0) return INT_MIN;
  return static_cast<int>(x);
}

}  // namespace sw

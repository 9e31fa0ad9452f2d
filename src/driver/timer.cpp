#include "driver/timer.hpp"

#include <sys/resource.h>

namespace sw {

double timer(float& time0) {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  const float user =
      static_cast<float>(ru.ru_utime.tv_sec) + static_cast<float>(ru.ru_utime.tv_usec) * 1.0e-6f;
  const float sys =
      static_cast<float>(ru.ru_stime.tv_sec) + static_cast<float>(ru.ru_stime.tv_usec) * 1.0e-6f;
  const float total = user + sys;
  const float elapsed = total - time0;
  time0 = total;
  return static_cast<double>(elapsed);
}

}  // namespace sw

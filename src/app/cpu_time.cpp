#include "app/cpu_time.hpp"

#include <sys/resource.h>

namespace sw {

double cpuTimeLap(float& total) {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  const float user =
      static_cast<float>(ru.ru_utime.tv_sec) + static_cast<float>(ru.ru_utime.tv_usec) * 1.0e-6f;
  const float sys =
      static_cast<float>(ru.ru_stime.tv_sec) + static_cast<float>(ru.ru_stime.tv_usec) * 1.0e-6f;
  const float now = user + sys;
  const float elapsed = now - total;
  total = now;
  return static_cast<double>(elapsed);
}

double cpuSeconds() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
         1e-6 * static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec);
}

}  // namespace sw

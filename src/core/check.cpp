#include "core/check.hpp"

#include <cstdio>
#include <cstdlib>

namespace sw {

void checkFailed(const char* cond, const char* what, const char* file, int line) {
  std::fprintf(stderr, "stripwave: internal check failed at %s:%d: %s (%s)\n", file, line, what,
               cond);
  std::fflush(stderr);
  std::abort();
}

}  // namespace sw

#include "driver/run.hpp"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>

#include "driver/files.hpp"
#include "driver/frequency_loop.hpp"
#include "driver/stop.hpp"
#include "driver/timer.hpp"
#include "input/readata.hpp"
#include "output/outime.hpp"
#include "records/io_error.hpp"
#include "records/layout.hpp"

namespace sw {

namespace {

/// Source patterns other than 1, 2 and 3 apply no source: the run is valid but every
/// output is zero.  Said on the terminal only, so files and status stay unchanged.
void warnNoSource(int kdel) {
  if (isatty(STDERR_FILENO) == 1)
    std::fprintf(stderr,
                 "stripwave: warning: kdel = %d applies no source (only 1, 2 and 3 do); "
                 "every output will be zero\n",
                 kdel);
}

/// The prototype switch of the accelerated iteration: STRIPWAVE_ACCELERATE=anderson
/// selects it; unset, empty or 0 keeps the established iteration.
std::optional<AccelerationSettings> accelerationFromEnvironment() {
  AccelerationSettings s;
  const char* v = std::getenv("STRIPWAVE_ACCELERATE");
  if (v == nullptr || *v == '\0' || std::strcmp(v, "0") == 0) return s;
  if (std::strcmp(v, "anderson") != 0) return std::nullopt;
  s.enabled = true;
  return s;
}

/// The run proper: start-up, the frequency loop, the time-domain output.  Returns the
/// first frequency index whose fields became non-finite, if any.
std::optional<int> simulate(const AccelerationSettings& accel) {
  static const rec::Layout kTiempo("(/1x,'tiempo=',g20.8)");

  InputFiles in;
  rec::OutFile log;
  connectFiles(in, log);
  float time0 = 0.0f;
  timer(time0);

  RunParams par;
  Materials mat;
  Vec1<Cx> sour(kMaxFreqs);
  readata(in, log, par, mat, sour);

  if (par.kdel < 1 || par.kdel > 3) warnNoSource(par.kdel);

  FrequencyLoop loop(par, mat, sour, 0, accel);
  loop.run(log);

  outime(par.nx, par.ny, par.nsnapt, loop.accumulators(), par.nt, par.dt, par.delw, par.jw1,
         par.jw2, par.nrec);
  log.write(kTiempo, {timer(time0)});
  log.flush();
  return loop.firstNonFinite();
}

}  // namespace

int runMain() {
  const std::optional<AccelerationSettings> accel = accelerationFromEnvironment();
  if (!accel) {
    std::fprintf(stderr,
                 "stripwave: STRIPWAVE_ACCELERATE must be 'anderson' (accelerated iteration), "
                 "or unset, empty or 0 (the established iteration)\n");
    return kExitBadInput;
  }
  try {
    const std::optional<int> bad = simulate(*accel);
    if (bad) {
      std::fprintf(stderr,
                   "stripwave: the edge fields became non-finite at frequency index %d "
                   "(a zero pivot or a stiffness that is not positive definite); the output "
                   "files were written but do not hold a meaningful result\n",
                   *bad);
      return kExitNonFinite;
    }
    return 0;
  } catch (const Stop& stop) {
    if (!stop.code) return 0;
    std::fprintf(stderr, "STOP %d\n", *stop.code);
    return *stop.code & 0xff;
  } catch (const rec::IoError& e) {
    std::fprintf(stderr, "stripwave: %s\n", e.what());
    return kExitFileError;
  } catch (const InputError& e) {
    std::fprintf(stderr, "stripwave: input error: %s\n", e.what());
    return kExitBadInput;
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "stripwave: not enough memory for this grid\n");
    return kExitNoMemory;
  }
}

}  // namespace sw

#include "app/run.hpp"

#include <unistd.h>

#include <cstdio>
#include <new>
#include <optional>

#include "app/cpu_time.hpp"
#include "app/frequency_loop.hpp"
#include "core/exit_status.hpp"
#include "input/read_input.hpp"
#include "input/run_files.hpp"
#include "output/time_domain_files.hpp"
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

/// The run proper: start-up, the frequency loop, the time-domain output.  Returns the
/// first frequency index whose fields became non-finite, if any.
std::optional<int> simulate() {
  static const rec::Layout kTiempo("(/1x,'tiempo=',g20.8)");

  InputFiles in;
  rec::OutFile log;
  openRunFiles(in, log);
  float cpuTotal = 0.0f;
  cpuTimeLap(cpuTotal);

  RunParams par;
  Materials mat;
  Vec1<Cx> sour(kMaxFreqs);
  readInput(in, log, par, mat, sour);

  if (par.kdel < 1 || par.kdel > 3) warnNoSource(par.kdel);

  FrequencyLoop loop(par, mat, sour);
  loop.run(log);

  writeTimeDomainFiles(par, loop.accumulators());
  log.write(kTiempo, {cpuTimeLap(cpuTotal)});
  log.flush();
  return loop.firstNonFinite();
}

}  // namespace

int runMain() {
  try {
    const std::optional<int> bad = simulate();
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

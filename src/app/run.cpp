#include "app/run.hpp"

#include <unistd.h>

#include <cstdio>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "app/cpu_time.hpp"
#include "app/frequency_loop.hpp"
#include "app/run_directory.hpp"
#include "core/exit_status.hpp"
#include "core/interrupt.hpp"
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

/// One line on the standard error stream naming the files removed, if any.
void reportRemoved(const std::vector<std::string>& names, const char* what) {
  if (names.empty()) return;
  std::string list;
  for (const std::string& n : names) list += (list.empty() ? "" : ", ") + n;
  std::fprintf(stderr, "stripwave: removed %s: %s\n", what, list.c_str());
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

  try {
    RunParams par;
    Materials mat;
    Vec1<Cx> sour(kMaxFreqs);
    readInput(in, log, par, mat, sour);

    if (par.kdel < 1 || par.kdel > 3) warnNoSource(par.kdel);

    // The result files are opened first: a name that cannot be replaced ends the run
    // before the work is done.
    TimeDomainFiles results = openTimeDomainFiles(par);
    FrequencyLoop loop(par, mat, sour);
    stopIfInterrupted("before the first frequency");
    loop.run(log);

    writeTimeDomainFiles(results, par, loop.accumulators());
    reportRemoved(removeStaleSnapshots(par.nsnapt),
                  "the snapshot files of an earlier run with more snapshots");
    log.write(kTiempo, {cpuTimeLap(cpuTotal)});
    log.commit();
    return loop.firstNonFinite();
  } catch (const Interrupted& stop) {
    const std::string line = "interrupted by " + signalName(stop.signal) + " " + stop.where;
    log.writeList({std::string_view(line)});
    log.commit();
    throw;
  }
}

}  // namespace

int runMain() {
  installInterruptHandlers();
  try {
    const RunDirectoryLock lock;
    reportRemoved(lock.removedTemporaries(), "temporary files of an interrupted run");
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
    if (!stop.code) {
      std::fprintf(stderr, "stripwave: input error: %s\n", stop.reason.c_str());
      return kExitBadInput;
    }
    std::fprintf(stderr, "STOP %d\nstripwave: %s\n", *stop.code, stop.reason.c_str());
    return *stop.code & 0xff;
  } catch (const rec::IoError& e) {
    std::fprintf(stderr, "stripwave: %s\n", e.what());
    return kExitFileError;
  } catch (const InputError& e) {
    std::fprintf(stderr, "stripwave: input error: %s\n", e.what());
    return kExitBadInput;
  } catch (const Interrupted& stop) {
    std::fprintf(stderr,
                 "stripwave: interrupted by %s %s; the snapshot and trace files were not "
                 "written (files of an earlier run are left as they were)\n",
                 signalName(stop.signal).c_str(), stop.where.c_str());
    return 128 + stop.signal;
  } catch (const RunDirectoryBusy&) {
    std::fprintf(stderr,
                 "stripwave: another stripwave run is using this directory; not started "
                 "(run in another directory, or wait for the first run to end)\n");
    return kExitBusy;
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "stripwave: not enough memory for this grid\n");
    return kExitNoMemory;
  }
}

}  // namespace sw

#include "driver/run.hpp"

#include <unistd.h>

#include <cstdio>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "driver/files.hpp"
#include "driver/frequency_loop.hpp"
#include "driver/interrupt.hpp"
#include "driver/run_directory.hpp"
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
  connectFiles(in, log);
  float time0 = 0.0f;
  timer(time0);

  try {
    RunParams par;
    Materials mat;
    Vec1<Cx> sour(kMaxFreqs);
    readata(in, log, par, mat, sour);

    if (par.kdel < 1 || par.kdel > 3) warnNoSource(par.kdel);

    TimeDomainFiles files = openTimeDomainFiles(par.nsnapt, par.nrec);
    FrequencyLoop loop(par, mat, sour);
    stopIfInterrupted("before the first frequency");
    loop.run(log);

    outime(files, par.nx, par.ny, par.nsnapt, loop.accumulators(), par.nt, par.dt, par.delw,
           par.jw1, par.jw2, par.nrec);
    reportRemoved(removeStaleSnapshots(par.nsnapt),
                  "the snapshot files of an earlier run with more snapshots");
    log.write(kTiempo, {timer(time0)});
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
    if (!stop.code) return 0;
    std::fprintf(stderr, "STOP %d\n", *stop.code);
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

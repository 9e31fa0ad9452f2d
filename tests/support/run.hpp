#pragma once
/// Whole-program runs and directory helpers for tests.

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "support/files.hpp"

namespace sw::test {

/// Exit status, output texts and peak memory of one run of the program.
struct RunResult {
  int status = -1;
  std::string out;      ///< standard output stream
  std::string fullErr;  ///< standard error stream
  /// The standard error stream without the warning about a record that outlasts the period
  /// of the frequency sampling (withoutWrapAroundWarning), which most small test decks
  /// draw: what the tests of other messages compare.
  std::string err;
  long peakKb = 0;       ///< peak resident size of the process
};

/// Limits a run is started with, and a library put before the C library.
struct RunLimits {
  long fileSizeBytes = -1;  ///< RLIMIT_FSIZE (a "full disk" past this size); -1: none
  long addressSpaceBytes = -1;  ///< RLIMIT_AS (allocations past it fail); -1: none
  long openFiles = -1;          ///< RLIMIT_NOFILE, soft and hard; -1: as inherited
  std::string preload;      ///< LD_PRELOAD of the run; empty: none
  std::map<std::string, std::string> environment;  ///< variables set for the run
};

/// Runs the stripwave executable with `dir` as working directory and `args` as its
/// arguments.
RunResult runProgram(const std::filesystem::path& dir, const std::vector<std::string>& args = {},
                     const RunLimits& limits = {});

/// A run started in the background; the destructor kills it if it is still running.
class BackgroundRun {
 public:
  explicit BackgroundRun(const std::filesystem::path& dir,
                         const std::vector<std::string>& args = {});
  ~BackgroundRun();
  BackgroundRun(const BackgroundRun&) = delete;
  BackgroundRun& operator=(const BackgroundRun&) = delete;

  /// Sends `signal` to the run.
  void signal(int signal);
  /// Process id of the run (-1 once it has been waited for).
  int pid() const { return pid_; }
  /// Waits for the end of the run.
  RunResult wait();

 private:
  TempDir streams_;
  std::string outFile_, errFile_;
  int pid_ = -1;
};

/// Polls `ready` every 10 ms for up to `seconds`; returns its last answer.
bool waitUntil(const std::function<bool()>& ready, double seconds = 60.0);

/// The same with the standard error stream on a terminal (a pseudo-terminal whose
/// output is collected into `err`; the standard output is discarded).  `meanwhile`, if
/// given, is called with the process id once the run has started (to send it a signal).
RunResult runProgramOnTerminal(const std::filesystem::path& dir,
                               const std::vector<std::string>& args = {},
                               const std::function<void(int pid)>& meanwhile = {});

/// Copies every regular file of `from` into `to`.
void copyFiles(const std::filesystem::path& from, const std::filesystem::path& to);

/// Regular files of a directory, name -> contents.
std::map<std::string, std::string> readDir(const std::filesystem::path& dir);

/// Expects `runDir` to hold, besides the input of the stored case `caseDir`, exactly the
/// files of its expected/ other than exit_status, stderr.txt and RUNTIME_ERROR, with the
/// same bytes (the CPU-time line of the log excepted).
void expectStoredFiles(const std::filesystem::path& caseDir, const std::filesystem::path& runDir);

/// How the log says a frequency ended: its convergence or NO convergence line and the
/// relative error line after it.
struct LoggedFrequency {
  int jw, passes;
  bool converged;
  double change;
};

/// The frequencies a log reports as ended, in log order.
std::vector<LoggedFrequency> loggedFrequencies(const std::string& log);

/// The log with its " tiempo=" line (CPU seconds) replaced by " tiempo=<cpu>".
std::string withoutCpuTime(const std::string& log);

/// A standard error stream without the lines of the warning about a record that outlasts
/// the period of the frequency sampling.
std::string withoutWrapAroundWarning(const std::string& err);

}  // namespace sw::test

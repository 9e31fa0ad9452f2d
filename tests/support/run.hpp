#pragma once
/// Whole-program runs and directory helpers for tests.

#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include "support/files.hpp"

namespace sw::test {

/// Exit status and standard error text of one run of the program.
struct RunResult {
  int status = -1;
  std::string err;
};

/// Limits a run is started with.
struct RunLimits {
  long fileSizeBytes = -1;  ///< RLIMIT_FSIZE (a "full disk" past this size); -1: none
};

/// Runs the stripwave executable with `dir` as working directory.
RunResult runProgram(const std::filesystem::path& dir, const RunLimits& limits = {});

/// A run started in the background; the destructor kills it if it is still running.
class BackgroundRun {
 public:
  explicit BackgroundRun(const std::filesystem::path& dir);
  ~BackgroundRun();
  BackgroundRun(const BackgroundRun&) = delete;
  BackgroundRun& operator=(const BackgroundRun&) = delete;

  /// Sends `signal` to the run.
  void signal(int signal);
  /// Waits for the end of the run.
  RunResult wait();

 private:
  TempDir errDir_;
  std::string errFile_;
  int pid_ = -1;
};

/// Polls `ready` every 10 ms for up to `seconds`; returns its last answer.
bool waitUntil(const std::function<bool()>& ready, double seconds = 60.0);

/// The same with the standard error stream on a terminal (a pseudo-terminal whose
/// output is collected into `err`).
RunResult runProgramOnTerminal(const std::filesystem::path& dir);

/// Copies every regular file of `from` into `to`.
void copyFiles(const std::filesystem::path& from, const std::filesystem::path& to);

/// Regular files of a directory, name -> contents.
std::map<std::string, std::string> readDir(const std::filesystem::path& dir);

}  // namespace sw::test

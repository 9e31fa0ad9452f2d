#pragma once
/// Whole-program runs and directory helpers for tests.

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/files.hpp"

namespace sw::test {

/// Makes `dir` the working directory for the lifetime of the object.
class ChangeDir {
 public:
  explicit ChangeDir(const std::filesystem::path& dir);
  ~ChangeDir();
  ChangeDir(const ChangeDir&) = delete;
  ChangeDir& operator=(const ChangeDir&) = delete;

 private:
  std::filesystem::path old_;
};

/// Exit status, output texts and peak memory of one run of the program.
struct RunResult {
  int status = -1;
  std::string out, err;  ///< standard output and error streams
  long peakKb = 0;       ///< peak resident size of the process
};

/// Runs the stripwave executable with `dir` as working directory and `args` as its
/// arguments.
RunResult runProgram(const std::filesystem::path& dir, const std::vector<std::string>& args = {});

/// The same with the standard error stream on a terminal (a pseudo-terminal whose
/// output is collected into `err`; the standard output is discarded).
RunResult runProgramOnTerminal(const std::filesystem::path& dir,
                               const std::vector<std::string>& args = {});

/// Copies every regular file of `from` into `to`.
void copyFiles(const std::filesystem::path& from, const std::filesystem::path& to);

/// Regular files of a directory, name -> contents.
std::map<std::string, std::string> readDir(const std::filesystem::path& dir);

/// The log with its " tiempo=" line (CPU seconds) replaced by " tiempo=<cpu>".
std::string withoutCpuTime(const std::string& log);

/// Absolute path of tests/data.
inline std::filesystem::path dataDir() { return STRIPWAVE_TEST_DATA; }

}  // namespace sw::test

#pragma once
/// Whole-program runs and directory helpers for tests.

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/files.hpp"

namespace sw::test {

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

}  // namespace sw::test

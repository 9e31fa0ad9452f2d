#pragma once
/// Whole-program runs and directory helpers for tests.

#include <filesystem>
#include <map>
#include <string>

#include "support/files.hpp"

namespace sw::test {

/// Exit status and standard error text of one run of the program.
struct RunResult {
  int status = -1;
  std::string err;
};

/// Runs the stripwave executable with `dir` as working directory.
RunResult runProgram(const std::filesystem::path& dir);

/// The same with the standard error stream on a terminal (a pseudo-terminal whose
/// output is collected into `err`).
RunResult runProgramOnTerminal(const std::filesystem::path& dir);

/// Copies every regular file of `from` into `to`.
void copyFiles(const std::filesystem::path& from, const std::filesystem::path& to);

/// Regular files of a directory, name -> contents.
std::map<std::string, std::string> readDir(const std::filesystem::path& dir);

}  // namespace sw::test

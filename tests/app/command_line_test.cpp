// The program's command line as a user types it: exit statuses, what goes to which
// stream, that a rejected command line touches no file, and that the options which only
// steer a run leave its files as they are.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/run.hpp"

namespace {

namespace fs = std::filesystem;
using sw::test::RunResult;

fs::path storedCase(const std::string& name) { return sw::test::dataDir() / "regression" / name; }

/// A scratch run directory holding the input of a stored case.
struct CaseRun {
  sw::test::TempDir dir;
  explicit CaseRun(const std::string& name) {
    sw::test::copyFiles(storedCase(name) / "input", dir.path());
  }
};

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

struct EndCase {
  const char* what;
  std::vector<std::string> args;
  int status;
  const char* out;  ///< part of the standard output ("" for any)
  const char* err;  ///< part of the standard error stream ("" for any)
};

TEST(CommandLine, EndsBeforeAnyFileIsTouched) {
  const EndCase cases[] = {
      {"help", {"--help"}, 0, "Usage: stripwave [OPTIONS] [RUNDIR]", ""},
      {"version", {"--version"}, 0, "threads available: ", ""},
      {"unknown option", {"--fast"}, 64, "", "not expected: --fast"},
      {"extra argument", {".", "again"}, 64, "", "not expected: again"},
      {"threads missing", {"--threads"}, 64, "", "--threads"},
      {"threads zero", {"--threads", "0"}, 64, "", "not in range"},
      {"threads not a number", {"-t", "many"}, 64, "", "many"},
      {"progress and quiet", {"-p", "-q"}, 64, "", "excludes"},
      {"layer of no elements", {"--pml", "0"}, 64, "", "--pml 0: the layer's thickness N"},
      {"layer of negative elements", {"--pml=-3"}, 64, "", "--pml -3"},
      {"layer not a whole number", {"--pml", "2.5"}, 64, "", "--pml 2.5"},
      {"layer not a number", {"--pml", "thick"}, 64, "", "--pml thick"},
      {"layer beyond the largest", {"--pml", "100001"}, 64, "", "from 1 to 100000"},
      {"layer and mixing", {"--pml", "4", "--accelerate"}, 64, "", "do not apply to --pml"},
      {"layer and mixing everywhere", {"--accelerate-all", "--pml"}, 64, "", "do not apply to --pml"},
  };
  for (const EndCase& c : cases) {
    CaseRun run("layered_small");
    const auto before = sw::test::readDir(run.dir.path());
    const RunResult r = sw::test::runProgram(run.dir.path(), c.args);
    EXPECT_EQ(r.status, c.status) << c.what << ": " << r.err;
    EXPECT_TRUE(has(r.out, c.out)) << c.what << ": " << r.out;
    EXPECT_TRUE(has(r.err, c.err)) << c.what << ": " << r.err;
    if (c.status != 0) {
      EXPECT_EQ(r.out, "") << c.what;
      EXPECT_TRUE(has(r.err, "Usage: stripwave [OPTIONS] [RUNDIR]")) << c.what;
    } else {
      EXPECT_EQ(r.err, "") << c.what;
    }
    EXPECT_TRUE(sw::test::readDir(run.dir.path()) == before) << c.what << ": a file was touched";
  }
}

TEST(CommandLine, MissingRunDirectory) {
  sw::test::TempDir cwd;
  const RunResult r = sw::test::runProgram(cwd.path(), {"no/such/dir"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err,
            "stripwave: cannot enter the run directory no/such/dir: No such file or directory\n");
  EXPECT_TRUE(sw::test::readDir(cwd.path()).empty());
}

TEST(CommandLine, RunDirectoryGivenFromElsewhere) {
  CaseRun run("layered_small");
  sw::test::TempDir cwd;
  const RunResult r = sw::test::runProgram(cwd.path(), {run.dir.path().string()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  sw::test::expectStoredFiles(storedCase("layered_small"), run.dir.path());
  EXPECT_TRUE(sw::test::readDir(cwd.path()).empty()) << "nothing is written where it was started";
}

TEST(CommandLine, ThreadsQuietAndProgressLeaveTheFilesAsTheyAre) {
  // 30 x 20 elements run on one thread by default; 3 threads share its strips out.
  const std::vector<std::vector<std::string>> forms = {
      {"--threads", "1"}, {"--threads=3"}, {"--quiet"}, {"--progress", "-t", "2"}};
  for (const auto& args : forms) {
    CaseRun run("layered_small");
    const RunResult r = sw::test::runProgram(run.dir.path(), args);
    EXPECT_EQ(r.status, 0) << args[0] << ": " << r.err;
    sw::test::expectStoredFiles(storedCase("layered_small"), run.dir.path());
  }
}

TEST(CommandLine, LiftedLimitsChangeNothingForADeckWithinThem) {
  for (const char* name : {"layered_small", "bad_zero_modulus", "bad_uncovered_element"}) {
    CaseRun run(name);
    const RunResult r = sw::test::runProgram(run.dir.path(), {"--lift-limits"});
    EXPECT_EQ(std::to_string(r.status) + "\n",
              sw::test::readBytes((storedCase(name) / "expected" / "exit_status").string()))
        << name;
    EXPECT_EQ(r.fullErr,
              sw::test::readBytes((storedCase(name) / "expected" / "stderr.txt").string()))
        << name;
    sw::test::expectStoredFiles(storedCase(name), run.dir.path());
  }
}

TEST(CommandLine, RequiredConvergenceFailsAnUnconvergedRunOnceItsFilesAreWritten) {
  // No frequency of this deck reaches its reduc of 1e-12: maxiter 120 stops indices 13 ..
  // 24, maxlow 40 those up to 12.
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--require-convergence"},
        std::vector<std::string>{"--require-convergence", "-q"}}) {
    CaseRun run("noconv_layered");
    const RunResult r = sw::test::runProgram(run.dir.path(), args);
    EXPECT_EQ(r.status, 7) << r.err;
    EXPECT_TRUE(has(r.err, "stripwave: 24 of 24 frequencies did not converge and "
                           "--require-convergence was given (status 7; the files were written)\n"))
        << r.err;
    EXPECT_TRUE(has(r.err, "  raise maxiter (inp_A, now 120 passes): 12 frequencies stopped at it"))
        << r.err;
    EXPECT_TRUE(has(r.err, "  raise maxlow (inp_A, now 40 passes, indices up to 12): 12 "
                           "frequencies stopped at it; the furthest, #1 (0.00125), reached "
                           "relative change "))
        << r.err;
    sw::test::expectStoredFiles(storedCase("noconv_layered"), run.dir.path());
  }
  // With the summary shown, the limits are named there once; a converged run ends with 0.
  {
    CaseRun run("noconv_layered");
    const RunResult r = sw::test::runProgram(run.dir.path(), {"--require-convergence", "-p"});
    EXPECT_EQ(r.status, 7);
    EXPECT_EQ(sw::test::countOf(r.err, "raise maxlow"), 1) << r.err;
    EXPECT_TRUE(has(r.err, "  raise maxlow")) << r.err;
  }
  sw::test::TempDir converged;  // every frequency of this reference run converges
  sw::test::copyFiles(sw::test::dataDir() / "golden" / "n09_reduc_gt1" / "input", converged.path());
  const RunResult r = sw::test::runProgram(converged.path(), {"--require-convergence"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
}

}  // namespace

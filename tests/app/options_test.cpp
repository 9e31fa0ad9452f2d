// The command line: what each form asks for, and what it ends with.

#include "app/options.hpp"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "core/lanes.hpp"

namespace {

sw::CommandLine parse(std::initializer_list<const char*> args) {
  std::vector<const char*> argv{"stripwave"};
  argv.insert(argv.end(), args.begin(), args.end());
  return sw::parseCommandLine(static_cast<int>(argv.size()), argv.data());
}

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

struct RunCase {
  const char* what;
  std::vector<const char*> args;
  std::string runDir;
  int threads;
  sw::ProgressMode progress;
  bool lift;
  sw::Acceleration acceleration = sw::Acceleration::off;
};

TEST(CommandLine, FormsThatRun) {
  using P = sw::ProgressMode;
  using A = sw::Acceleration;
  const RunCase cases[] = {
      {"no arguments", {}, ".", 0, P::Auto, false},
      {"run directory", {"runs/a"}, "runs/a", 0, P::Auto, false},
      {"threads", {"--threads", "3"}, ".", 3, P::Auto, false},
      {"threads joined", {"--threads=2"}, ".", 2, P::Auto, false},
      {"threads short", {"-t", "1"}, ".", 1, P::Auto, false},
      {"progress", {"--progress"}, ".", 0, P::Always, false},
      {"quiet", {"-q"}, ".", 0, P::Never, false},
      {"lift limits", {"--lift-limits", "d"}, "d", 0, P::Auto, true},
      {"options after the directory", {"d", "-p", "-t", "4"}, "d", 4, P::Always, false},
      {"a directory named like an option after --", {"--", "-q"}, "-q", 0, P::Auto, false},
      {"accelerate", {"--accelerate", "-t", "2"}, ".", 2, P::Auto, false, A::whereSlow},
      {"accelerate every frequency", {"--accelerate-all"}, ".", 0, P::Auto, false, A::always},
      {"both accelerations", {"--accelerate", "--accelerate-all"}, ".", 0, P::Auto, false,
       A::always},
  };
  for (const RunCase& c : cases) {
    std::vector<const char*> argv{"stripwave"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    const sw::CommandLine cl = sw::parseCommandLine(static_cast<int>(argv.size()), argv.data());
    ASSERT_TRUE(cl.run.has_value()) << c.what << ": " << cl.err;
    EXPECT_EQ(cl.run->runDir, c.runDir) << c.what;
    EXPECT_EQ(cl.run->threads, c.threads) << c.what;
    EXPECT_EQ(cl.run->progress, c.progress) << c.what;
    EXPECT_EQ(cl.run->liftLimits, c.lift) << c.what;
    EXPECT_EQ(cl.run->acceleration, c.acceleration) << c.what;
    EXPECT_EQ(cl.out + cl.err, "") << c.what;
  }
}

struct ExitCase {
  const char* what;
  std::vector<const char*> args;
  int status;
  const char* inOut;  ///< expected in the standard output text ("" for nothing)
  const char* inErr;  ///< expected in the standard error text ("" for nothing)
};

TEST(CommandLine, ResumeAsksToContinueTheRunOfTheDirectory) {
  const sw::CommandLine plain = parse({"runs/a"});
  ASSERT_TRUE(plain.run.has_value());
  EXPECT_FALSE(plain.run->resume);
  const sw::CommandLine resumed = parse({"--resume", "runs/a", "-t", "2"});
  ASSERT_TRUE(resumed.run.has_value()) << resumed.err;
  EXPECT_TRUE(resumed.run->resume);
  EXPECT_EQ(resumed.run->runDir, "runs/a");
  EXPECT_EQ(resumed.run->threads, 2);
}

TEST(CommandLine, FormsThatEndAtOnce) {
  const ExitCase cases[] = {
      {"help", {"--help"}, 0, "Usage: stripwave [OPTIONS] [RUNDIR]", ""},
      {"help short, with a directory", {"d", "-h"}, 0, "--lift-limits", ""},
      {"version", {"--version"}, 0, "stripwave 0.", ""},
      {"unknown option", {"--fast"}, sw::kExitUsage, "", "--fast"},
      {"unknown short option", {"-x"}, sw::kExitUsage, "", "-x"},
      {"extra argument", {"a", "b"}, sw::kExitUsage, "", "b"},
      {"threads without a value", {"--threads"}, sw::kExitUsage, "", "threads"},
      {"threads not a number", {"--threads", "two"}, sw::kExitUsage, "", "two"},
      {"threads zero", {"--threads", "0"}, sw::kExitUsage, "", "threads"},
      {"threads negative", {"--threads=-2"}, sw::kExitUsage, "", "threads"},
      {"threads with a unit", {"--threads", "2x"}, sw::kExitUsage, "", "2x"},
      {"progress and quiet", {"--progress", "--quiet"}, sw::kExitUsage, "", "excludes"},
      {"a value to a flag", {"--quiet=maybe"}, sw::kExitUsage, "", "quiet"},
      {"a value to --accelerate", {"--accelerate=gmres"}, sw::kExitUsage, "", "accelerate"},
  };
  for (const ExitCase& c : cases) {
    std::vector<const char*> argv{"stripwave"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    const sw::CommandLine cl = sw::parseCommandLine(static_cast<int>(argv.size()), argv.data());
    EXPECT_FALSE(cl.run.has_value()) << c.what;
    EXPECT_EQ(cl.status, c.status) << c.what;
    EXPECT_TRUE(has(cl.out, c.inOut)) << c.what << ": " << cl.out;
    EXPECT_TRUE(has(cl.err, c.inErr)) << c.what << ": " << cl.err;
    if (c.status == 0) {
      EXPECT_EQ(cl.err, "") << c.what;
    } else {
      EXPECT_EQ(cl.out, "") << c.what;
      EXPECT_TRUE(has(cl.err, "Usage: stripwave [OPTIONS] [RUNDIR]")) << c.what << ": " << cl.err;
    }
  }
}

TEST(CommandLine, VersionNamesCompilerSimdAndThreads) {
  const sw::CommandLine cl = parse({"-V"});
  for (const char* part : {"stripwave ", "compiler: ", "SIMD width: ", "threads available: "})
    EXPECT_TRUE(has(cl.out, part)) << part << " in " << cl.out;
  // The width is the one the lane kernels were built with.
  const std::string width = "SIMD width: " + std::to_string(sw::kLanes) + " doubles (";
  EXPECT_TRUE(has(cl.out, width)) << cl.out;
}

TEST(CommandLine, HelpDocumentsTheOptionsAndTheUsageStatus) {
  const std::string help = parse({"--help"}).out;
  for (const char* part : {"RUNDIR", "--threads", "--progress", "--quiet", "--lift-limits",
                           "--accelerate", "--version", "64 a bad"})
    EXPECT_TRUE(has(help, part)) << part << " in " << help;
}

}  // namespace

// --solver: the command line, and whole runs with the direct solver.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/options.hpp"
#include "support/files.hpp"
#include "support/run.hpp"

namespace {

namespace fs = std::filesystem;

sw::CommandLine parse(std::vector<const char*> args) {
  args.insert(args.begin(), "stripwave");
  return sw::parseCommandLine(static_cast<int>(args.size()), args.data());
}

int count(const std::string& text, const std::string& part) {
  int n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST(SolverOption, ChoosesTheSolverOrEndsWithUsage) {
  const sw::CommandLine strips = parse({"--solver", "strips"});
  ASSERT_TRUE(strips.run.has_value()) << strips.err;
  EXPECT_EQ(strips.run->solver, sw::SolverKind::strips);
  ASSERT_TRUE(parse({}).run.has_value());
  EXPECT_EQ(parse({}).run->solver, sw::SolverKind::strips) << "the strip iteration by default";

  const sw::CommandLine direct = parse({"--solver", "direct", "d"});
  if (sw::directSolverBuilt()) {
    ASSERT_TRUE(direct.run.has_value()) << direct.err;
    EXPECT_EQ(direct.run->solver, sw::SolverKind::direct);
    const sw::CommandLine both = parse({"--solver", "direct", "--accelerate"});
    EXPECT_EQ(both.status, sw::kExitUsage);
    EXPECT_NE(both.err.find("apply to the strip iteration"), std::string::npos) << both.err;
  } else {
    EXPECT_EQ(direct.status, sw::kExitUsage);
    EXPECT_NE(direct.err.find("this build has no direct solver"), std::string::npos) << direct.err;
  }
  const sw::CommandLine unknown = parse({"--solver", "sparse"});
  EXPECT_EQ(unknown.status, sw::kExitUsage);
  EXPECT_FALSE(unknown.run.has_value());
}

TEST(SolverOption, DirectRunLogsEachFrequencysResidual) {
  if (!sw::directSolverBuilt()) GTEST_SKIP() << "no direct solver in this build";
  sw::test::TempDir dir;
  sw::test::copyFiles(fs::path(STRIPWAVE_SOURCE_DIR).parent_path() / "examples" / "homogeneous",
                      dir.path());
  const sw::test::RunResult r = sw::test::runProgram(dir.path(), {"--solver", "direct", "-p"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string log = sw::test::readBytes(dir.file("output"));
  EXPECT_EQ(count(log, " direct solve  for freq. # "), 20);
  EXPECT_EQ(count(log, "convergence  for freq."), 0);
  EXPECT_NE(r.err.find("all 20 frequencies solved directly"), std::string::npos) << r.err;
  for (const char* f : {"fort.60", "fort.70", "fort.501", "fort.601"})
    EXPECT_TRUE(fs::exists(dir.path() / f)) << f;
}

TEST(SolverOption, DirectSurveySolvesEveryShot) {
  if (!sw::directSolverBuilt()) GTEST_SKIP() << "no direct solver in this build";
  sw::test::TempDir dir;
  sw::test::copyFiles(fs::path(STRIPWAVE_TEST_DATA) / "regression" / "layered_small" / "input",
                      dir.path());
  sw::test::writeBytes(dir.path() / "shots.txt", "375 425\n200 300\n500 250 2\n");
  const sw::test::RunResult r =
      sw::test::runProgram(dir.path(), {"-q", "--solver", "direct", "--shots", "shots.txt"});
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* shot : {"shot_0001", "shot_0002", "shot_0003"}) {
    const std::string log = sw::test::readBytes(dir.path() / shot / "output");
    EXPECT_EQ(count(log, " direct solve  for freq. # "), 24) << shot;
    EXPECT_EQ(count(log, "convergence  for freq."), 0) << shot;
  }
  EXPECT_NE(sw::test::readBytes(dir.path() / "survey.txt").find("3 complete"), std::string::npos);
}

}  // namespace

// Runs with a perfectly matched layer (--pml), by the strip iteration and the direct
// solver: the files describe the grid's own elements as without it; a layer the memory cannot hold, and a source outside the grid or above
// the free surface, end the run before any result file is touched.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/files.hpp"
#include "support/input_harness.hpp"
#include "support/run.hpp"

namespace {

namespace fs = std::filesystem;
using sw::test::RunResult;
using sw::test::ScratchDir;
using sw::test::TestDeck;

/// The names and sizes of the files of a run directory but its log.
std::vector<std::pair<std::string, std::uintmax_t>> resultSizes(const fs::path& dir) {
  std::vector<std::pair<std::string, std::uintmax_t>> out;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.path().filename().string().rfind("fort.", 0) == 0)
      out.emplace_back(e.path().filename().string(), e.file_size());
  std::sort(out.begin(), out.end());
  return out;
}

bool directBuilt() {
  sw::test::TempDir cwd;
  return sw::test::runProgram(cwd.path(), {"--version"}).out.find("direct solver: built") !=
         std::string::npos;
}

TEST(MatchedLayerRun, TheFilesAreThoseOfTheGridsOwnElements) {
  ScratchDir plain;
  sw::test::writeRun(TestDeck{});
  ASSERT_EQ(sw::test::runProgram(plain.path()).status, 0);
  const auto sizes = resultSizes(plain.path());
  ASSERT_FALSE(sizes.empty());
  // The strip iteration of the layer, and the direct solver where the build has it.
  std::vector<std::vector<std::string>> runs = {{"--pml", "4"}, {"--free-surface", "--pml=3"}};
  if (directBuilt()) {
    runs.push_back({"--pml", "4", "--solver", "direct"});
    runs.push_back({"--solver", "direct", "--free-surface", "--pml=3"});
  }
  for (const auto& args : runs) {
    SCOPED_TRACE(args[0] + " " + (args.size() > 1 ? args[1] : ""));
    ScratchDir dir;
    sw::test::writeRun(TestDeck{});
    const RunResult r = sw::test::runProgram(dir.path(), args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(resultSizes(dir.path()), sizes);
  }
}

TEST(MatchedLayerRun, ASurveysShotWithTheLayersIterationIsTheRunOfItsSource) {
  // Each shot iterates from its own fields: the first shot's files are the single run's.
  const TestDeck deck;
  ScratchDir single;
  sw::test::writeRun(deck);
  ASSERT_EQ(sw::test::runProgram(single.path(), {"--pml", "3"}).status, 0);
  ScratchDir survey;
  sw::test::writeRun(deck);
  sw::test::writeBytes(survey.file("shots.txt"), std::to_string(deck.xsou) + " " +
                                                     std::to_string(deck.ysou) + "\n12.5 27.5\n");
  const RunResult r = sw::test::runProgram(survey.path(), {"--shots", "shots.txt", "--pml", "3"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto files = resultSizes(single.path());
  ASSERT_FALSE(files.empty());
  for (const auto& [name, size] : files)
    EXPECT_EQ(sw::test::readBytes(survey.path() / "shot_0001" / name),
              sw::test::readBytes(single.path() / name))
        << name;
  EXPECT_EQ(resultSizes(survey.path() / "shot_0002"), files);
}

TEST(MatchedLayerRun, ALayerTheMemoryCannotHoldIsRefusedBeforeAnyResultFile) {
  std::vector<std::vector<std::string>> runs = {{"--pml", "100000"}};
  if (directBuilt()) runs.push_back({"--solver", "direct", "--pml", "100000"});
  for (const auto& args : runs) {
    SCOPED_TRACE(args.size());
    ScratchDir dir;
    sw::test::writeRun(TestDeck{});
    sw::test::writeBytes(dir.path() / "fort.60", "an earlier run's traces\n");
    // 200010 x 200008 elements with the layer: tens of TiB.
    const RunResult r = sw::test::runProgram(dir.path(), args);
    EXPECT_EQ(r.status, 5) << r.err;
    EXPECT_EQ(r.err.rfind("stripwave: not enough memory: the run needs an estimated ", 0), 0u)
        << r.err;
    EXPECT_EQ(sw::test::readBytes(dir.path() / "fort.60"), "an earlier run's traces\n");
    EXPECT_FALSE(fs::exists(dir.path() / "fort.70"));
    EXPECT_FALSE(fs::exists(dir.path() / "fort.501"));
  }
}

TEST(MatchedLayerRun, ASourceOutsideTheGridIsRefusedAsWithoutALayer) {
  // The layer lies outside the grid: a source in it is a source outside the grid, above the
  // free surface included, and is refused (stop 666) before any result file.
  TestDeck above;
  above.ysou = 42.0;  // the grid spans 0 <= y < 40
  TestDeck left;
  left.xsou = -2.0;
  for (const auto& [deck, args] : {std::pair{above, std::vector<std::string>{"--free-surface", "--pml"}},
                                   std::pair{left, std::vector<std::string>{"--pml", "2"}}}) {
    ScratchDir dir;
    sw::test::writeRun(deck);
    const RunResult r = sw::test::runProgram(dir.path(), args);
    EXPECT_EQ(r.status, 666 & 0xff) << r.err;
    EXPECT_NE(r.err.find("outside"), std::string::npos) << r.err;
    EXPECT_TRUE(resultSizes(dir.path()).empty());
  }
}

}  // namespace

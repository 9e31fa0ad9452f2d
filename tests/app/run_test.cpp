// Start-up of a run: file connection and failures before the deck is read.

#include <gtest/gtest.h>

#include <string>

#include "support/run.hpp"

namespace {

TEST(Run, EmptyDirectoryNamesTheMissingDeck) {
  sw::test::TempDir run;
  const sw::test::RunResult result = sw::test::runProgram(run.path());
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.err.find("inp_A"), std::string::npos) << result.err;
  EXPECT_TRUE(sw::test::readDir(run.path()).empty()) << "no file may be created";
}

/// A copy of a stored case's input with its source pattern replaced.
void deckWithSource(const std::filesystem::path& dir, int kdel) {
  const auto input = sw::test::dataDir() / "regression" / "layered_small" / "input";
  sw::test::copyFiles(input, dir);
  std::string deck = sw::test::readBytes((dir / "inp_A").string());
  // kdel is the fifth "(i5)" line after reduc: replace the line "    1" that follows the
  // nmat line "    3".
  const auto at = deck.find("\n    3\n    1\n");
  ASSERT_NE(at, std::string::npos);
  deck.replace(at + 7, 5, "    " + std::to_string(kdel));
  sw::test::writeBytes((dir / "inp_A").string(), deck);
}

TEST(Run, SourcelessPatternWarnsOnATerminalOnly) {
  for (const int kdel : {0, 9}) {
    sw::test::TempDir onTerminal, redirected;
    deckWithSource(onTerminal.path(), kdel);
    deckWithSource(redirected.path(), kdel);
    const sw::test::RunResult tty = sw::test::runProgramOnTerminal(onTerminal.path());
    const sw::test::RunResult file = sw::test::runProgram(redirected.path());
    EXPECT_EQ(tty.status, 0);
    EXPECT_EQ(file.status, 0);
    EXPECT_NE(tty.err.find("kdel = " + std::to_string(kdel) + " applies no source"),
              std::string::npos)
        << tty.err;
    EXPECT_EQ(file.err, "");
    // The files are the same either way.
    auto a = sw::test::readDir(onTerminal.path());
    auto b = sw::test::readDir(redirected.path());
    a.erase("output");
    b.erase("output");
    EXPECT_TRUE(a == b);
  }
}

TEST(Run, SourcePatternsOneToThreeDoNotWarn) {
  sw::test::TempDir dir;
  deckWithSource(dir.path(), 3);
  // Without progress, which a terminal shows by default, nothing else is said.
  EXPECT_EQ(sw::test::runProgramOnTerminal(dir.path(), {"--quiet"}).err, "");
}

}  // namespace

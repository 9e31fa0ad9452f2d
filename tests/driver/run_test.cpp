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

}  // namespace

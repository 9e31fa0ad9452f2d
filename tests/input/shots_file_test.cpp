// The shots file of a survey: positions, kinds and comments, and the lines it refuses.

#include <gtest/gtest.h>

#include <string>

#include "core/exit_status.hpp"
#include "input/shots_file.hpp"
#include "records/io_error.hpp"
#include "support/files.hpp"

namespace sw::test {
namespace {

/// The message of the InputError that reading `text` as a shots file raises ("" if none).
std::string refusal(const std::string& text) {
  ScratchDir dir;
  writeBytes("shots.txt", text);
  try {
    readShotsFile("shots.txt");
  } catch (const InputError& e) {
    return e.what();
  }
  return "";
}

TEST(ShotsFile, PositionsKindsCommentsAndBlankLines) {
  ScratchDir dir;
  writeBytes("shots.txt",
             "# x y kind\n"
             "375 425\n"
             "\n"
             "  1.5e2\t300.25  shear   # a comment\n"
             "   # only a comment\n"
             "600 100 asymmetric\r\n"
             "10 20 explosion\n"
             "30 40 vertical-force\n"
             "50 60 horizontal-force\n"
             "0 0 2");  // no newline at the end
  const std::vector<Shot> s = readShotsFile("shots.txt");
  ASSERT_EQ(s.size(), 7u);
  EXPECT_EQ(s[0].line, 2);
  EXPECT_EQ(s[0].x, 375.0);
  EXPECT_EQ(s[0].y, 425.0);
  EXPECT_FALSE(s[0].kdel);
  EXPECT_EQ(s[1].line, 4);
  EXPECT_EQ(s[1].x, 150.0);
  EXPECT_EQ(s[1].y, 300.25);
  EXPECT_EQ(s[1].kdel, 2);
  EXPECT_EQ(s[2].kdel, 3);
  EXPECT_EQ(s[3].kdel, 1);
  EXPECT_EQ(s[4].kdel, 4);
  EXPECT_EQ(s[5].kdel, 5);
  EXPECT_EQ(s[6].line, 10);
  EXPECT_EQ(s[6].kdel, 2);
}

TEST(ShotsFile, KindNamesAndTheirPatterns) {
  for (int kdel = 1; kdel <= 5; ++kdel) {
    EXPECT_EQ(sourceKind(sourceKindName(kdel)), kdel);
    EXPECT_EQ(sourceKind(std::to_string(kdel)), kdel);
  }
  EXPECT_FALSE(sourceKind("0"));
  EXPECT_FALSE(sourceKind("Explosion"));
  EXPECT_EQ(sourceKindName(9), "kdel 9");
}

TEST(ShotsFile, RefusalsNameTheFileTheLineAndWhatIsWrong) {
  struct Case {
    std::string text;
    const char* part;
  };
  const Case cases[] = {
      {"", "shots file shots.txt: no shot (the file is empty)"},
      {"# nothing\n\n   \n", "all 3 lines are empty or comments"},
      {"100 200\n100\n", "shots file shots.txt, line 2: 1 word, expected \"x y [kind]\""},
      {"100 200 shear 4\n", "line 1: 4 words"},
      {"100 abc\n", "line 1: 'abc' is not a finite number"},
      {"1,5 200\n", "line 1: '1,5' is not a finite number"},
      {"nan 200\n", "'nan' is not a finite number"},
      {"100 inf\n", "'inf' is not a finite number"},
      {"1e999 2\n", "'1e999' is not a finite number"},
      {"\n\n100 200 dipole\n", "line 3: unknown source kind 'dipole'; the kinds are explosion "
                                "(kdel 1), shear (kdel 2), asymmetric (kdel 3), vertical-force (kdel 4), "
                                "horizontal-force (kdel 5)"},
      {"100 200 \x01\n", "unknown source kind '\\x01'"},
      {std::string(2000, '1') + " 2\n", "line 1: longer than 1024 characters"},
  };
  for (const Case& c : cases) {
    const std::string why = refusal(c.text);
    EXPECT_NE(why.find(c.part), std::string::npos) << "[" << c.text.substr(0, 40) << "]: " << why;
  }
}

TEST(ShotsFile, AFileThatCannotBeReadIsAFileError) {
  ScratchDir dir;
  EXPECT_THROW(readShotsFile("missing.txt"), rec::IoError);
  std::filesystem::create_directory("adir");
  try {
    readShotsFile("adir");
    ADD_FAILURE() << "a directory was read";
  } catch (const rec::IoError& e) {
    EXPECT_NE(std::string(e.what()).find("the shots file adir: a directory"), std::string::npos)
        << e.what();
  }
}

TEST(ShotsFile, ShotsOutsideTheGridAreNamed) {
  // 30 by 20 elements of 25 m: x in [0, 750), y in [0, 500).
  std::vector<Shot> shots = {{1, 0.0, 0.0, {}}, {2, 749.9, 499.9, {}}};
  EXPECT_NO_THROW(checkShotsInGrid(shots, "s.txt", 30, 20, 25.0));
  const Shot outside[] = {{3, 750.0, 10.0, {}}, {4, 10.0, 500.0, {}}, {5, -30.0, 10.0, {}},
                          {6, 10.0, -25.0, {}}};
  for (const Shot& s : outside) {
    std::vector<Shot> with = shots;
    with.push_back(s);
    try {
      checkShotsInGrid(with, "s.txt", 30, 20, 25.0);
      ADD_FAILURE() << "line " << s.line << " accepted";
    } catch (const InputError& e) {
      const std::string why = e.what();
      EXPECT_NE(why.find("shots file s.txt, line " + std::to_string(s.line) + ": the shot at"),
                std::string::npos)
          << why;
      EXPECT_NE(why.find("is outside the grid (0 <= x < 750 m, 0 <= y < 500 m: 30 by 20 "
                         "elements of 25 m)"),
                std::string::npos)
          << why;
    }
  }
}

TEST(ShotsFile, ShotDirectories) {
  EXPECT_EQ(shotDirectory(1), "shot_0001");
  EXPECT_EQ(shotDirectory(42), "shot_0042");
  EXPECT_EQ(shotDirectory(9999), "shot_9999");
  EXPECT_EQ(shotDirectory(10000), "shot_10000");
}

}  // namespace
}  // namespace sw::test

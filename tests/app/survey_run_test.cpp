// A survey in one run (--shots): each shot's files as a run of its own writes them, the
// list of shots, refused shots files that touch nothing, and faults that leave the shots
// already written complete.

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/run.hpp"

namespace {

namespace fs = std::filesystem;
using sw::test::RunResult;

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

const fs::path kInput = sw::test::dataDir() / "regression" / "layered_small" / "input";

/// The files a run wrote in `dir`: those of the input removed, the log without its CPU time.
std::map<std::string, std::string> runFiles(const fs::path& dir) {
  auto files = sw::test::readDir(dir);
  for (const auto& e : fs::directory_iterator(kInput)) files.erase(e.path().filename().string());
  if (files.count("output")) files["output"] = sw::test::withoutCpuTime(files["output"]);
  return files;
}

/// A run directory with the input of the small layered case, its source moved to (x, y)
/// with pattern kdel when given.
void layeredInput(const fs::path& dir, const char* x = nullptr, const char* y = nullptr,
                  int kdel = 0) {
  sw::test::copyFiles(kInput, dir);
  // Entries 22 (kdel), 24 and 25 (xsou, ysou) are lines 23, 25 and 26 of the deck.
  if (kdel != 0) sw::test::replaceLine(dir / "inp_A", 23, "    " + std::to_string(kdel));
  if (x != nullptr) sw::test::replaceLine(dir / "inp_A", 25, x);
  if (y != nullptr) sw::test::replaceLine(dir / "inp_A", 26, y);
}

/// Every file of the tree under `dir`, relative name -> contents.
std::map<std::string, std::string> tree(const fs::path& dir) {
  std::map<std::string, std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file())
      out[fs::relative(e.path(), dir).string()] = sw::test::readBytes(e.path().string());
  return out;
}

TEST(SurveyRun, EachShotWritesTheFilesOfARunOfItsOwnBitForBit) {
  sw::test::TempDir survey, deckShot, movedShot;
  layeredInput(survey.path());
  layeredInput(deckShot.path());
  // The second shot, run alone: moved, and a shear source.
  layeredInput(movedShot.path(), "          100.000000", "          300.250000", 2);
  sw::test::writeBytes(survey.file("shots.txt"),
                       "# x y [kind]\n375 425   # the deck's own source\n100 300.25 shear\n");
  for (const std::string threads : {"1", "2"}) {
    const RunResult r = sw::test::runProgram(survey.path(), {"--shots", "shots.txt", "-p",
                                                             "-t", threads});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has(r.err, "stripwave: survey of 2 shots: 2 complete")) << r.err;
    EXPECT_TRUE(has(r.err, "shot_0001 .. shot_0002, listed in survey.txt")) << r.err;
  }
  ASSERT_EQ(sw::test::runProgram(deckShot.path()).status, 0);
  ASSERT_EQ(sw::test::runProgram(movedShot.path()).status, 0);

  const auto alone = runFiles(deckShot.path());
  ASSERT_GT(alone.size(), 5u);
  EXPECT_TRUE(runFiles(survey.path() / "shot_0001") == alone) << "the deck's own shot";
  EXPECT_TRUE(runFiles(survey.path() / "shot_0002") == runFiles(movedShot.path()))
      << "the moved shear shot";
  // The run directory holds its input, the shots file and the list; no run files.
  auto top = runFiles(survey.path());
  EXPECT_EQ(top.size(), 2u);
  EXPECT_EQ(top.count("shots.txt"), 1u);
  EXPECT_EQ(top["survey.txt"],
            "# stripwave survey of 2 shots from shots.txt: 2 complete, 0 non-finite, 0 missing\n"
            "# shot directory line x_m y_m kind jsou ksou state [reason]\n"
            "1 shot_0001 2 375 425 explosion 16 18 complete\n"
            "2 shot_0002 3 100 300.25 shear 5 13 complete\n");
}

TEST(SurveyRun, ARefusedShotsFileTouchesNoFile) {
  sw::test::TempDir dir;
  layeredInput(dir.path());
  // An earlier survey and a run of the deck's own shot are left as they were.
  sw::test::writeBytes(dir.file("shots.txt"), "375 425\n");
  ASSERT_EQ(sw::test::runProgram(dir.path(), {"--shots", "shots.txt"}).status, 0);
  ASSERT_EQ(sw::test::runProgram(dir.path()).status, 0);
  struct Case {
    const char* text;
    int status;
    const char* err;
  };
  const Case cases[] = {
      {"", 3, "input error: shots file bad.txt: no shot (the file is empty)"},
      {"# none\n", 3, "shots file bad.txt: no shot (all 1 lines are empty or comments)"},
      {"100 200\n300\n", 3, "shots file bad.txt, line 2: 1 word, expected"},
      {"100 x\n", 3, "shots file bad.txt, line 1: 'x' is not a finite number"},
      {"100 200 dipole\n", 3, "shots file bad.txt, line 1: unknown source kind 'dipole'"},
      {"100 200\n\n750 100\n", 3,
       "shots file bad.txt, line 3: the shot at x = 750 m, y = 100 m is outside the grid "
       "(0 <= x < 750 m, 0 <= y < 500 m: 30 by 20 elements of 25 m)"},
      {"100 -1e-9\n", 3, "shots file bad.txt, line 1: the shot at x = 100 m, y = -1e-09 m"},
  };
  for (const Case& c : cases) {
    sw::test::writeBytes(dir.file("bad.txt"), c.text);
    const auto before = tree(dir.path());
    const RunResult r = sw::test::runProgram(dir.path(), {"--shots", "bad.txt"});
    EXPECT_EQ(r.status, c.status) << c.text;
    EXPECT_TRUE(has(r.err, c.err)) << c.text << ": " << r.err;
    EXPECT_TRUE(tree(dir.path()) == before) << c.text << ": a file was touched";
  }
  // A missing shots file is a file error.
  const auto before = tree(dir.path());
  const RunResult r = sw::test::runProgram(dir.path(), {"--shots", "none.txt"});
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(has(r.err, "cannot open the shots file none.txt")) << r.err;
  EXPECT_TRUE(tree(dir.path()) == before);
}

/// Waits until the first shot's log shows the run in its frequency loop.
bool solving(const fs::path& dir) {
  return sw::test::waitUntil([&] {
    std::error_code ec;
    if (!fs::is_regular_file(dir / "shot_0001" / "output", ec)) return false;
    return has(sw::test::readBytes((dir / "shot_0001" / "output").string()), "frequency number");
  });
}

/// A survey of three shots slow enough to be caught in its frequency loop: a tolerance
/// of zero, so that every frequency takes all its passes (maxlow, maxiter: lines 1, 20).
void slowSurvey(const fs::path& dir, const char* passes) {
  layeredInput(dir);
  sw::test::replaceLine(dir / "inp_A", 1, passes);
  sw::test::replaceLine(dir / "inp_A", 20, passes);
  sw::test::replaceLine(dir / "inp_A", 21, "            0.000000");
  sw::test::writeBytes(dir / "shots.txt", "375 425\n200 300\n600 100 shear\n");
}

TEST(SurveyRun, AShotThatCannotBeWrittenLeavesTheOthersComplete) {
  sw::test::TempDir dir;
  slowSurvey(dir.path(), "  400");
  sw::test::BackgroundRun run(dir.path(), {"--shots", "shots.txt", "-p"});
  ASSERT_TRUE(solving(dir.path()));
  // The second shot's directory goes away while the run solves; a file takes its name.
  fs::rename(dir.path() / "shot_0002", dir.path() / "moved");
  sw::test::writeBytes(dir.path() / "shot_0002", "not a directory\n");
  const RunResult r = run.wait();
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_TRUE(has(r.err, "survey of 3 shots: 2 complete, 1 missing")) << r.err;
  EXPECT_TRUE(has(r.err, "missing: shot 2 (shot_0002): ")) << r.err;
  EXPECT_TRUE(has(r.err, "the files of shot 2 are missing (survey.txt)")) << r.err;
  const std::string list = sw::test::readBytes(dir.file("survey.txt"));
  EXPECT_TRUE(has(list, "2 complete, 0 non-finite, 1 missing")) << list;
  EXPECT_TRUE(has(list, "\n1 shot_0001 1 375 425 explosion 16 18 complete\n")) << list;
  EXPECT_TRUE(has(list, "\n2 shot_0002 2 200 300 explosion 9 13 missing (")) << list;
  EXPECT_TRUE(has(list, "\n3 shot_0003 3 600 100 shear 25 5 complete\n")) << list;
  for (const char* shot : {"shot_0001", "shot_0003"}) {
    const auto files = runFiles(dir.path() / shot);
    EXPECT_EQ(files.count("fort.60"), 1u) << shot;
    EXPECT_EQ(files.count("fort.602"), 1u) << shot;
    EXPECT_TRUE(has(files.at("output"), " tiempo=<cpu>")) << shot;
  }
}

TEST(SurveyRun, AnInterruptedSurveySaysEveryShotIsMissing) {
  sw::test::TempDir dir;
  slowSurvey(dir.path(), " 1500");
  sw::test::BackgroundRun run(dir.path(), {"--shots", "shots.txt"});
  ASSERT_TRUE(solving(dir.path()));
  run.signal(SIGTERM);
  const RunResult r = run.wait();
  EXPECT_EQ(r.status, 128 + SIGTERM) << r.err;
  const std::string list = sw::test::readBytes(dir.file("survey.txt"));
  EXPECT_TRUE(has(list, "0 complete, 0 non-finite, 3 missing")) << list;
  EXPECT_TRUE(has(list, "\n3 shot_0003 3 600 100 shear 25 5 missing (interrupted by SIGTERM"))
      << list;
  for (const char* shot : {"shot_0001", "shot_0002", "shot_0003"}) {
    EXPECT_EQ(runFiles(dir.path() / shot).count("fort.60"), 0u) << shot;
    EXPECT_TRUE(has(sw::test::readBytes((dir.path() / shot / "output").string()),
                    "interrupted by SIGTERM"))
        << shot;
  }
}

TEST(SurveyRun, ShotsPastTheRoomForOpenLogsAreAllWritten) {
  // 24 shots, at two positions in turn, under a limit of 80 open files, which leaves room
  // for the logs of some 10 shots beside the descriptors a survey keeps free: the logs of
  // the shots past those are held and written at the end, each the log of a run of its
  // shot alone, as are the open ones.
  constexpr int kShots = 24;
  sw::test::TempDir survey, deckShot, movedShot;
  layeredInput(survey.path());
  layeredInput(deckShot.path());
  layeredInput(movedShot.path(), "          100.000000", "          300.250000", 2);
  std::string shots;
  for (int k = 0; k < kShots; ++k) shots += k % 2 == 0 ? "375 425\n" : "100 300.25 shear\n";
  sw::test::writeBytes(survey.file("shots.txt"), shots);
  sw::test::RunLimits limits;
  limits.openFiles = 80;
  const RunResult r = sw::test::runProgram(survey.path(), {"-q", "--shots", "shots.txt"}, limits);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const std::string list = sw::test::readBytes(survey.file("survey.txt"));
  EXPECT_TRUE(has(list, "24 complete, 0 non-finite, 0 missing")) << list;
  ASSERT_EQ(sw::test::runProgram(deckShot.path()).status, 0);
  ASSERT_EQ(sw::test::runProgram(movedShot.path()).status, 0);
  const auto alone = runFiles(deckShot.path()), moved = runFiles(movedShot.path());
  ASSERT_GT(alone.size(), 5u);
  for (int k = 1; k <= kShots; ++k) {
    const std::string dir = "shot_" + std::string(k < 10 ? "000" : k < 100 ? "00" : "0") +
                            std::to_string(k);
    EXPECT_TRUE(runFiles(survey.path() / dir) == (k % 2 == 1 ? alone : moved)) << dir;
  }
  // The same under a limit that leaves no room for a log: every log is held.
  limits.openFiles = 48;
  sw::test::writeBytes(survey.file("shots.txt"), "375 425\n100 300.25 shear\n");
  const RunResult few = sw::test::runProgram(survey.path(), {"-q", "--shots", "shots.txt"}, limits);
  ASSERT_EQ(few.status, 0) << few.err;
  EXPECT_TRUE(runFiles(survey.path() / "shot_0001") == alone);
  EXPECT_TRUE(runFiles(survey.path() / "shot_0002") == moved);
}

TEST(SurveyRun, AShotRangeWritesItsShotsAsTheWholeSurveyDoesUnderTheirNumbers) {
  sw::test::TempDir whole, part;
  const std::string shots = "375 425\n# a comment line\n100 300.25 shear\n600 100\n";
  for (const fs::path& dir : {whole.path(), part.path()}) {
    layeredInput(dir);
    sw::test::writeBytes(dir / "shots.txt", shots);
  }
  ASSERT_EQ(sw::test::runProgram(whole.path(), {"-q", "--shots", "shots.txt"}).status, 0);
  const RunResult r =
      sw::test::runProgram(part.path(), {"-p", "--shots", "shots.txt", "--shot-range", "2:3"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(has(r.err, "stripwave: shots 2 to 3 of a survey of 3 shots: 2 complete")) << r.err;
  EXPECT_TRUE(has(r.err, "shot_0002 .. shot_0003, listed in survey.txt")) << r.err;
  EXPECT_FALSE(fs::exists(part.path() / "shot_0001"));
  for (const char* shot : {"shot_0002", "shot_0003"}) {
    const auto files = runFiles(part.path() / shot);
    ASSERT_GT(files.size(), 5u) << shot;
    EXPECT_TRUE(files == runFiles(whole.path() / shot)) << shot;
  }
  // The rows are those of the whole survey's list; the second line gives the range and
  // the digests of the input and the build.
  const std::string list = sw::test::readBytes(part.file("survey.txt"));
  const std::string rows = "2 shot_0002 3 100 300.25 shear 5 13 complete\n"
                           "3 shot_0003 4 600 100 explosion 25 5 complete\n";
  EXPECT_TRUE(has(sw::test::readBytes(whole.file("survey.txt")), rows));
  const std::string head =
      "# stripwave survey of shots 2 to 3 of 3 from shots.txt: 2 complete, 0 non-finite, "
      "0 missing\n# part 2:3 of 3 shots, input ";
  ASSERT_EQ(list.substr(0, head.size()), head) << list;
  EXPECT_TRUE(has(list, "# shot directory line x_m y_m kind jsou ksou state [reason]\n" + rows))
      << list;

  // Another part of the same survey has the same input digest; another input does not.
  const auto inputDigest = [](const std::string& text) {
    return text.substr(text.find(", input ") + 8, 16);
  };
  ASSERT_EQ(sw::test::runProgram(part.path(), {"-q", "--shots", "shots.txt", "--shot-range", "1"})
                .status,
            0);
  const std::string first = sw::test::readBytes(part.file("survey.txt"));
  EXPECT_TRUE(has(first, "# part 1:1 of 3 shots, input ")) << first;
  EXPECT_EQ(inputDigest(first), inputDigest(list));
  EXPECT_TRUE(runFiles(part.path() / "shot_0001") == runFiles(whole.path() / "shot_0001"));
  ASSERT_EQ(sw::test::runProgram(part.path(), {"-q", "--shots", "shots.txt", "--shot-range", "1",
                                               "--free-surface"})
                .status,
            0);
  EXPECT_NE(inputDigest(sw::test::readBytes(part.file("survey.txt"))), inputDigest(list));
}

TEST(SurveyRun, ABadShotRangeIsRefusedBeforeAnyFileIsTouched) {
  sw::test::TempDir dir;
  layeredInput(dir.path());
  sw::test::writeBytes(dir.file("shots.txt"), "375 425\n100 300.25 shear\n600 100\n");
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* err;
  };
  const Case cases[] = {
      {{"--shots", "shots.txt", "--shot-range", "0:2"}, 64,
       "--shot-range 0:2: expected FIRST:LAST, whole numbers with 1 <= FIRST <= LAST"},
      {{"--shots", "shots.txt", "--shot-range", "3:2"}, 64, "--shot-range 3:2: expected"},
      {{"--shots", "shots.txt", "--shot-range", "1:"}, 64, "--shot-range 1:: expected"},
      {{"--shots", "shots.txt", "--shot-range", "-1:2"}, 64, "--shot-range -1:2: expected"},
      {{"--shots", "shots.txt", "--shot-range", "1:two"}, 64, "expected FIRST:LAST"},
      {{"--shots", "shots.txt", "--shot-range", "1:99999999999"}, 64, "expected FIRST:LAST"},
      {{"--shot-range", "1:2"}, 64, "--shot-range selects shots of a survey: it needs --shots"},
      {{"--shots", "shots.txt", "--shot-range", "2:4"}, 3,
       "input error: --shot-range 2:4: the shots file shots.txt holds 3 shots (numbered 1 to 3)"},
      {{"--shots", "shots.txt", "--shot-range", "7"}, 3, "--shot-range 7:7: the shots file"},
  };
  for (const Case& c : cases) {
    const auto before = tree(dir.path());
    const RunResult r = sw::test::runProgram(dir.path(), c.args);
    EXPECT_EQ(r.status, c.status) << c.args.back();
    EXPECT_TRUE(has(r.err, c.err)) << c.args.back() << ": " << r.err;
    EXPECT_TRUE(tree(dir.path()) == before) << c.args.back() << ": a file was touched";
  }
}

TEST(SurveyRun, TheHelpNamesTheOptionAndTheSourceKinds) {
  const RunResult r = sw::test::runProgram(".", {"--help"});
  EXPECT_TRUE(has(r.out, "--shots FILE")) << r.out;
  EXPECT_TRUE(has(r.out, "explosion, shear, asymmetric, vertical-force or horizontal-force"))
      << r.out;
}

}  // namespace

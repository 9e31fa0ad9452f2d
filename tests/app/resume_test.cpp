// Interrupted runs continued with --resume: the files of the continued run against those of
// a run never stopped, and the checkpoints that must not be resumed from.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/files.hpp"
#include "support/run.hpp"

namespace {

namespace fs = std::filesystem;
using sw::test::countOf;
using sw::test::readBytes;
using sw::test::RunResult;
using sw::test::TempDir;
using sw::test::withoutCpuTime;

constexpr const char* kCheckpoint = ".stripwave.checkpoint";

/// The small layered case with pass limits of 800 and reduc 1e-9: a run of about a second
/// and a half in which most frequencies converge and some stop at the limit.
void layeredInput(const fs::path& dir) {
  sw::test::copyFiles(sw::test::dataDir() / "regression" / "layered_small" / "input", dir);
  const std::string deck = (dir / "inp_A").string();
  sw::test::replaceLine(deck, 1, "  800");                   // maxlow
  sw::test::replaceLine(deck, 20, "  800");                  // maxiter
  sw::test::replaceLine(deck, 21, "      0.10000000E-08");  // reduc
}

/// Frequencies begun in the log of a run in `dir`, 0 while there is no log.
int frequenciesLogged(const fs::path& dir) {
  const fs::path log = dir / "output";
  return fs::exists(log) ? countOf(readBytes(log), "\n  frequency number") : 0;
}

/// Starts a run in `dir`, waits until the log in `watched` (default `dir`) has begun
/// `frequencies` frequencies and sends it `signal`; returns how it ended.
RunResult interruptAfter(const fs::path& dir, int frequencies, int signal,
                         const std::vector<std::string>& args = {}, fs::path watched = {}) {
  if (watched.empty()) watched = dir;
  sw::test::BackgroundRun run(dir, args);
  EXPECT_TRUE(sw::test::waitUntil([&] { return frequenciesLogged(watched) >= frequencies; }));
  run.signal(signal);
  return run.wait();
}

/// Expects `dir` to hold exactly the files of `whole`, with the same bytes (the CPU time
/// of the log excepted).
void expectSameFiles(const fs::path& whole, const fs::path& dir) {
  const std::map<std::string, std::string> expected = sw::test::readDir(whole);
  const std::map<std::string, std::string> actual = sw::test::readDir(dir);
  std::vector<std::string> expectedNames, actualNames;
  for (const auto& [name, text] : expected) expectedNames.push_back(name);
  for (const auto& [name, text] : actual) actualNames.push_back(name);
  EXPECT_EQ(actualNames, expectedNames);
  for (const auto& [name, text] : expected) {
    const auto it = actual.find(name);
    if (it == actual.end()) continue;
    if (name == "output")
      EXPECT_EQ(withoutCpuTime(it->second), withoutCpuTime(text));
    else
      EXPECT_TRUE(it->second == text) << name << " differs";
  }
}

struct ResumeCase {
  const char* name;
  std::vector<int> signals;  ///< one interruption after another, each then resumed
  std::vector<std::string> args;
};

class ResumedRun : public testing::TestWithParam<ResumeCase> {};

TEST_P(ResumedRun, WritesTheFilesOfARunNeverStopped) {
  const ResumeCase& c = GetParam();
  TempDir whole, dir;
  layeredInput(whole.path());
  layeredInput(dir.path());
  ASSERT_EQ(sw::test::runProgram(whole.path(), c.args).status, 0);
  EXPECT_FALSE(fs::exists(whole.path() / kCheckpoint)) << "removed at the end of a run";

  std::vector<std::string> resume = c.args;
  resume.push_back("--resume");
  int begun = 0;
  for (const int signal : c.signals) {
    begun += 3;
    const RunResult stopped = interruptAfter(dir.path(), begun, signal, begun == 3 ? c.args : resume);
    ASSERT_EQ(stopped.status, 128 + signal) << stopped.err;
    ASSERT_TRUE(fs::exists(dir.path() / kCheckpoint));
    if (signal != SIGKILL)
      EXPECT_NE(stopped.err.find("'stripwave --resume' continues from the checkpoint"),
                std::string::npos)
          << stopped.err;
    begun = frequenciesLogged(dir.path());
  }
  const RunResult r = sw::test::runProgram(dir.path(), resume);
  EXPECT_EQ(r.status, 0) << r.err;
  // A run killed while it wrote a checkpoint leaves that file's temporary, which the
  // next run removes and names.
  const std::string removed =
      "stripwave: removed temporary files of an interrupted run: ..stripwave.checkpoint.stripwave-";
  if (r.err.rfind(removed, 0) == 0)
    EXPECT_EQ(sw::test::countOf(r.err, "\n"), 1) << r.err;
  else
    EXPECT_EQ(r.err, "");
  expectSameFiles(whole.path(), dir.path());
}

/// A survey of three shots of the small layered case, one of them a shear source.
void surveyInput(const fs::path& dir) {
  layeredInput(dir);
  sw::test::writeBytes(dir / "shots.txt", "375 425\n105 245 shear\n645 105\n");
}

TEST(ResumedSurvey, WritesTheFilesOfASurveyNeverStopped) {
  const std::vector<std::string> survey{"--shots", "shots.txt"};
  std::vector<std::string> resume = survey;
  resume.push_back("--resume");
  for (const int signal : {SIGTERM, SIGKILL}) {
    TempDir whole, dir;
    surveyInput(whole.path());
    surveyInput(dir.path());
    ASSERT_EQ(sw::test::runProgram(whole.path(), survey).status, 0);
    EXPECT_FALSE(fs::exists(whole.path() / kCheckpoint)) << "removed at the end of a survey";

    const RunResult stopped =
        interruptAfter(dir.path(), 5, signal, survey, dir.path() / "shot_0003");
    ASSERT_EQ(stopped.status, 128 + signal) << stopped.err;
    ASSERT_TRUE(fs::exists(dir.path() / kCheckpoint));
    if (signal == SIGTERM)
      EXPECT_NE(stopped.err.find("'stripwave --resume' continues from the checkpoint"),
                std::string::npos)
          << stopped.err;

    // Another shots file is another input.
    const std::string shots = readBytes(dir.path() / "shots.txt");
    sw::test::writeBytes(dir.path() / "shots.txt", "375 425\n105 245 shear\n645 115\n");
    const RunResult refused = sw::test::runProgram(dir.path(), resume);
    EXPECT_EQ(refused.status, 3) << refused.err;
    EXPECT_NE(refused.err.find("belongs to another input"), std::string::npos) << refused.err;
    sw::test::writeBytes(dir.path() / "shots.txt", shots);

    const RunResult r = sw::test::runProgram(dir.path(), resume);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(fs::exists(dir.path() / kCheckpoint));
    for (const char* shot : {"shot_0001", "shot_0002", "shot_0003"}) {
      SCOPED_TRACE(shot);
      expectSameFiles(whole.path() / shot, dir.path() / shot);
    }
    EXPECT_EQ(readBytes(dir.path() / "survey.txt"), readBytes(whole.path() / "survey.txt"));
  }
}

TEST(ResumedRun, SummaryCountsTheFrequenciesOfTheInterruptedRun) {
  TempDir whole, dir;
  layeredInput(whole.path());
  layeredInput(dir.path());
  const RunResult all = sw::test::runProgram(whole.path(), {"--progress"});
  ASSERT_EQ(all.status, 0);
  ASSERT_EQ(interruptAfter(dir.path(), 4, SIGTERM).status, 143);
  const RunResult r = sw::test::runProgram(dir.path(), {"--progress", "--resume"});
  ASSERT_EQ(r.status, 0) << r.err;
  // The same outcomes in the summary, and progress numbered on from where the run stopped.
  const std::string summary = all.err.substr(all.err.find("stripwave: "));
  const std::string resumed = r.err.substr(r.err.find("stripwave: "));
  EXPECT_EQ(summary.substr(0, summary.find("  time:")), resumed.substr(0, resumed.find("  time:")));
  EXPECT_EQ(r.err.rfind("freq 1/24 ", 0), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("freq 24/24 (#1, "), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Interruptions, ResumedRun,
    testing::Values(ResumeCase{"SIGTERM", {SIGTERM}, {}},
                    ResumeCase{"SIGKILL", {SIGKILL}, {}},
                    ResumeCase{"twice_on_one_thread", {SIGINT, SIGKILL}, {"--threads", "1"}},
                    ResumeCase{"accelerated", {SIGTERM}, {"--accelerate-all"}},
                    ResumeCase{"accelerated_where_slow", {SIGTERM}, {"--accelerate"}}),
    [](const testing::TestParamInfo<ResumeCase>& info) { return std::string(info.param.name); });

/// A directory with the checkpoint of a run interrupted after a few frequencies.
class InterruptedDirectory : public testing::Test {
 protected:
  void SetUp() override {
    layeredInput(dir.path());
    ASSERT_EQ(interruptAfter(dir.path(), 4, SIGTERM).status, 143);
    ASSERT_TRUE(fs::exists(dir.path() / kCheckpoint));
    before = sw::test::readDir(dir.path());
  }
  /// Resumes, expecting a refusal with `status` and a message containing `what`, and no
  /// file touched.
  void expectRefused(int status, const std::string& what) {
    const RunResult r = sw::test::runProgram(dir.path(), {"--resume"});
    EXPECT_EQ(r.status, status);
    EXPECT_EQ(r.err.rfind("stripwave: cannot resume: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(what), std::string::npos) << r.err;
    EXPECT_EQ(countOf(r.err, "\n"), 1) << r.err;
    EXPECT_TRUE(sw::test::readDir(dir.path()) == before) << "files touched";
  }
  TempDir dir;
  std::map<std::string, std::string> before;
};

TEST_F(InterruptedDirectory, APlainRunSaysItReplacesTheCheckpoint) {
  const RunResult r = sw::test::runProgram(dir.path(), {"-q"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err,
            "stripwave: warning: this directory holds the checkpoint .stripwave.checkpoint of an "
            "interrupted run; this run starts afresh and replaces it ('stripwave --resume' would "
            "have continued the interrupted run)\n");
  EXPECT_FALSE(fs::exists(dir.path() / kCheckpoint)) << "removed at the end of the run";
  // Without a checkpoint nothing is said.
  const RunResult again = sw::test::runProgram(dir.path(), {"-q"});
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(again.err, "");
}

TEST_F(InterruptedDirectory, CheckpointOfAnotherInputIsRefused) {
  const std::string deck = (dir.path() / "inp_A").string();
  const std::string original = readBytes(deck);
  sw::test::replaceLine(deck, 21, "      0.10000000E-07");
  before = sw::test::readDir(dir.path());
  expectRefused(3, "belongs to another input");

  // Options that change results count as input; the thread count does not.
  sw::test::writeBytes(deck, original);
  before = sw::test::readDir(dir.path());
  const RunResult accelerated = sw::test::runProgram(dir.path(), {"--resume", "--accelerate"});
  EXPECT_EQ(accelerated.status, 3);
  EXPECT_NE(accelerated.err.find("belongs to another input"), std::string::npos);
  EXPECT_TRUE(sw::test::readDir(dir.path()) == before);
  EXPECT_EQ(sw::test::runProgram(dir.path(), {"--resume", "--threads", "2"}).status, 0);
  EXPECT_FALSE(fs::exists(dir.path() / kCheckpoint));
}

TEST_F(InterruptedDirectory, CheckpointOfAnotherBuildIsRefused) {
  // The same program with one byte more is another build.
  TempDir bin;
  const fs::path other = bin.path() / "stripwave";
  sw::test::writeBytes(other, readBytes(STRIPWAVE_BINARY) + "\n");
  fs::permissions(other, fs::perms::owner_all);
  const std::string err = (bin.path() / "err").string();
  const std::string command = "cd '" + dir.path().string() + "' && '" + other.string() +
                              "' --resume 2>'" + err + "'";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 3);
  EXPECT_NE(readBytes(err).find("was written by another build of stripwave"), std::string::npos)
      << readBytes(err);
  EXPECT_TRUE(sw::test::readDir(dir.path()) == before) << "files touched";
}

TEST_F(InterruptedDirectory, DamagedCheckpointIsRefused) {
  const fs::path at = dir.path() / kCheckpoint;
  const std::string whole = readBytes(at);
  // Truncated, as a full disk or a copy cut short would leave it.
  sw::test::writeBytes(at, whole.substr(0, whole.size() / 2));
  before = sw::test::readDir(dir.path());
  expectRefused(3, "is damaged (truncated or altered");
  // One bit changed deep inside the accumulators.
  std::string altered = whole;
  altered[altered.size() - 100] = static_cast<char>(altered[altered.size() - 100] ^ 0x10);
  sw::test::writeBytes(at, altered);
  before = sw::test::readDir(dir.path());
  expectRefused(3, "is damaged (truncated or altered");
  // Something else at the name.
  sw::test::writeBytes(at, "not a checkpoint at all, but long enough to have a digest\n");
  before = sw::test::readDir(dir.path());
  expectRefused(3, "it is not a stripwave checkpoint");
  sw::test::writeBytes(at, "");
  before = sw::test::readDir(dir.path());
  expectRefused(3, "it is truncated");
}

TEST(ResumeWithoutCheckpoint, IsRefusedBeforeAnyFileIsOpened) {
  TempDir dir;
  layeredInput(dir.path());
  const auto before = sw::test::readDir(dir.path());
  const RunResult r = sw::test::runProgram(dir.path(), {"--resume"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err,
            "stripwave: cannot resume: there is no checkpoint (.stripwave.checkpoint) in this "
            "directory to resume from: no run here was interrupted after finishing a frequency, "
            "or the run finished; run without --resume\n");
  EXPECT_TRUE(sw::test::readDir(dir.path()) == before) << "no log, nothing created";
}

}  // namespace

// What a run reports while it runs and when it ends: progress lines, the summary, and a
// log that follows the run frequency by frequency.  Checked against the log of the run.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "support/run.hpp"

namespace {

namespace fs = std::filesystem;
using sw::test::RunResult;

/// A scratch run directory holding the input of the stored 30 x 20 layered case, whose
/// 24 frequencies all converge but the lowest two.
struct LayeredRun {
  sw::test::TempDir dir;
  LayeredRun() {
    sw::test::copyFiles(sw::test::dataDir() / "regression" / "layered_small" / "input", dir.path());
  }
  std::string log() const { return sw::test::readBytes(dir.file("output")); }
};

/// The frequencies a log reports as ended, by index.
std::map<int, sw::test::LoggedFrequency> loggedOutcomes(const std::string& log) {
  std::map<int, sw::test::LoggedFrequency> out;
  for (const sw::test::LoggedFrequency& f : sw::test::loggedFrequencies(log)) out[f.jw] = f;
  return out;
}

const std::regex kProgressLine(
    R"(freq (\d+)/24 \(#(\d+), [0-9.e+-]+\): (\d+) passes, change (\S+), (converged|NOT converged) \| \d+:\d\d, ~\d+:\d\d left)");

TEST(Report, OneLinePerFrequencyAndTheSummaryAgreeWithTheLog) {
  LayeredRun run;
  const RunResult r = sw::test::runProgram(run.dir.path(), {"--progress"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto logged = loggedOutcomes(run.log());
  ASSERT_EQ(logged.size(), 24u);

  const std::vector<std::string> err = sw::test::lines(r.err);
  ASSERT_EQ(err.size(), 24u + 1 + 2 + 1 + 2) << r.err;
  for (int k = 1; k <= 24; ++k) {
    std::smatch m;
    const std::string& l = err[static_cast<std::size_t>(k - 1)];
    ASSERT_TRUE(std::regex_match(l, m, kProgressLine)) << l;
    EXPECT_EQ(std::stoi(m[1]), k);
    const int jw = std::stoi(m[2]);
    EXPECT_EQ(jw, 25 - k) << "solved from the highest index down";
    EXPECT_EQ(std::stoi(m[3]), logged.at(jw).passes) << l;
    EXPECT_EQ(m[5] == "converged", logged.at(jw).converged) << l;
    EXPECT_NEAR(std::stod(m[4]), logged.at(jw).change, 0.005 * logged.at(jw).change) << l;
  }

  EXPECT_EQ(err[24], "stripwave: 22 of 24 frequencies converged");
  for (int i = 0; i < 2; ++i) {
    const int jw = 2 - i;
    char expected[160];
    std::snprintf(expected, sizeof expected,
                  "  not converged: #%d (%.6g) after %d passes, change %.2e", jw,
                  (jw - 0.5) * 0.0025, logged.at(jw).passes, logged.at(jw).change);
    EXPECT_EQ(err[static_cast<std::size_t>(25 + i)], expected);
  }
  // Both stopped at maxlow (indices up to 4 = 0.2 x 24); index 1 stayed furthest above reduc.
  char raise[240];
  std::snprintf(raise, sizeof raise,
                "  raise maxlow (inp_A, now 100 passes, indices up to 4): 2 frequencies stopped "
                "at it; the furthest, #1 (0.00125), reached relative change %.2e against reduc "
                "1.00e-03 after 100 passes, %.3g times too large",
                logged.at(1).change, logged.at(1).change / 1e-3);
  EXPECT_EQ(err[27], raise);
  EXPECT_TRUE(std::regex_match(err[28], std::regex(R"(  time: \d+\.\d s wall, \d+\.\d s CPU)")))
      << err[28];
  const std::string where = "  files in " + fs::canonical(run.dir.path()).string() + ": ";
  ASSERT_EQ(err[29].rfind(where, 0), 0u) << err[29];
  EXPECT_EQ(err[29].substr(where.size()),
            "output (log), fort.60 and fort.70 (traces), fort.501 .. fort.502 and fort.601 .. "
            "fort.602 (snapshots)");
  for (const char* f :
       {"output", "fort.60", "fort.70", "fort.501", "fort.502", "fort.601", "fort.602"})
    EXPECT_TRUE(fs::exists(run.dir.path() / f)) << f;
}

TEST(Report, InPlaceOnATerminalUnlessQuiet) {
  LayeredRun shown, quiet;
  const RunResult r = sw::test::runProgramOnTerminal(shown.dir.path());
  EXPECT_EQ(r.status, 0);
  // Each frequency redraws the line at least when it starts and when it ends.
  EXPECT_GE(
      std::count(r.err.begin(), r.err.end(), '\r') - std::count(r.err.begin(), r.err.end(), '\n'),
      48)
      << r.err;
  EXPECT_NE(r.err.find("freq 24/24 (#1, "), std::string::npos);
  EXPECT_NE(r.err.find("\x1b[K"), std::string::npos);
  EXPECT_NE(r.err.find("stripwave: 22 of 24 frequencies converged"), std::string::npos);

  const RunResult q = sw::test::runProgramOnTerminal(quiet.dir.path(), {"--quiet"});
  EXPECT_EQ(q.status, 0);
  EXPECT_EQ(q.err, "");
  EXPECT_EQ(sw::test::withoutCpuTime(quiet.log()), sw::test::withoutCpuTime(shown.log()));
}

TEST(Report, TheLogOnDiskFollowsTheRunFrequencyByFrequency) {
  LayeredRun run;
  int pipefd[2];
  ASSERT_EQ(pipe(pipefd), 0);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    close(pipefd[0]);
    dup2(pipefd[1], STDERR_FILENO);
    if (chdir(run.dir.path().c_str()) != 0) _exit(126);
    execl(STRIPWAVE_BINARY, "stripwave", "--progress", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(pipefd[1]);
  std::FILE* err = fdopen(pipefd[0], "r");
  std::vector<std::string> seen;  // the log as it was when each progress line came
  std::vector<int> jws;
  char buf[512];
  while (std::fgets(buf, sizeof buf, err) != nullptr) {
    std::smatch m;
    std::string l(buf);
    if (!l.empty() && l.back() == '\n') l.pop_back();
    if (!std::regex_match(l, m, kProgressLine)) continue;
    jws.push_back(std::stoi(m[2]));
    seen.push_back(run.log());
  }
  std::fclose(err);
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  ASSERT_TRUE(WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 0);

  ASSERT_EQ(jws.size(), 24u);
  const std::string final = run.log();
  for (std::size_t i = 0; i < jws.size(); ++i) {
    // Up to the end of frequency jw at least, and a beginning of the final log.
    EXPECT_EQ(final.compare(0, seen[i].size(), seen[i]), 0) << "frequency " << jws[i];
    EXPECT_TRUE(loggedOutcomes(seen[i]).count(jws[i])) << "frequency " << jws[i];
  }
  EXPECT_EQ(seen.front().find(" tiempo="), std::string::npos);
}

}  // namespace

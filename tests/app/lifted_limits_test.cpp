// --lift-limits: each established limit stops a deck beyond it as before, and the same
// deck runs with the option; storage that had a fixed size grows with the run; a run
// whose estimated memory does not fit is refused before its storage is allocated.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/memory.hpp"
#include "support/input_harness.hpp"
#include "support/run.hpp"

namespace {

namespace fs = std::filesystem;
using sw::test::RunResult;
using sw::test::ScratchDir;
using sw::test::TestDeck;

/// Lines of a file.
std::size_t lineCount(const fs::path& p) {
  const std::string text = sw::test::readBytes(p.string());
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

/// The time samples of a run, as its log says.
std::size_t loggedSamples(const fs::path& dir) {
  const std::string log = sw::test::readBytes(dir / "output");
  const std::string label = "number of time steps  nt =";
  const std::size_t at = log.find(label);
  return at == std::string::npos ? 0 : std::stoul(log.substr(at + label.size()));
}

TestDeck lineGrid(int nx) {
  TestDeck d;
  d.nx = nx;
  d.ny = 1;
  d.xsize = 5.0 * nx;
  d.ysize = 5.0;
  d.ysou = 2.5;
  d.yinic = d.yfin = 2.5;
  d.regions = {{0.0, d.xsize, 0.0, 5.0, 1}};
  return d;
}

TestDeck withSnapshots(int n) {
  TestDeck d;
  d.nsnapt = n;
  d.tsnap.clear();
  // Within the period 1 / delf = 0.04 of the frequency axis: no warnings.
  for (int k = 1; k <= n; ++k) d.tsnap.push_back(0.0003 * k);
  return d;
}

struct LimitCase {
  const char* what;
  TestDeck deck;
  int stopStatus;  ///< status of the established stop without the option
  std::function<void(const fs::path&, const TestDeck&)> check;
};

TEST(LiftedLimits, EachLimitStopsWithoutTheOptionAndRunsWithIt) {
  const LimitCase cases[] = {
      {"601 elements along x", lineGrid(601), 77,
       [](const fs::path& dir, const TestDeck&) { EXPECT_EQ(lineCount(dir / "fort.501"), 601u); }},
      {"120 time snapshots", withSnapshots(120), 6183 & 0xff,
       [](const fs::path& dir, const TestDeck&) {
         for (const char* f : {"fort.5001", "fort.5120", "fort.6001", "fort.6120"})
           EXPECT_EQ(lineCount(dir / f), 80u) << f;
         EXPECT_FALSE(fs::exists(dir / "fort.501"));
         EXPECT_FALSE(fs::exists(dir / "fort.5121"));
       }},
      {"250 receivers", TestDeck{.nrec = 250}, 9920 & 0xff,
       [](const fs::path& dir, const TestDeck&) {
         EXPECT_EQ(lineCount(dir / "fort.60"), 250u * loggedSamples(dir));
       }},
      {"3000 time samples", TestDeck{.stime = 5.0}, 999 & 0xff,
       [](const fs::path& dir, const TestDeck&) {
         const std::size_t nt = loggedSamples(dir);
         EXPECT_GT(nt, 2500u);
         EXPECT_EQ(lineCount(dir / "fort.70"), 3u * nt);
         EXPECT_EQ(lineCount(dir / "fuente_sin_filtrar"), nt);
       }},
      {"700 frequencies", TestDeck{.npf = 700}, 33377 & 0xff,
       [](const fs::path& dir, const TestDeck&) {
         EXPECT_EQ(lineCount(dir / "espectro_filtrado"), 700u);
         const std::string log = sw::test::readBytes((dir / "output").string());
         EXPECT_NE(log.find(" frequency number   700 "), std::string::npos);
       }},
      // A pulse of 3.75 / freq s: 4500 steps of 1/600 s and one more.
      {"a type-2 pulse of 4500 samples", TestDeck{.key = 2, .freq = 0.5}, 12345 & 0xff,
       [](const fs::path& dir, const TestDeck&) {
         EXPECT_EQ(lineCount(dir / "fuente_sin_filtrar"), 4501u);
       }},
  };
  for (const LimitCase& c : cases) {
    ScratchDir dir;
    sw::test::writeRun(c.deck);
    const RunResult stopped = sw::test::runProgram(dir.path());
    EXPECT_EQ(stopped.status, c.stopStatus) << c.what << ": " << stopped.err;
    const RunResult lifted = sw::test::runProgram(dir.path(), {"--lift-limits"});
    ASSERT_EQ(lifted.status, 0) << c.what << ": " << lifted.err;
    EXPECT_EQ(lifted.err, "") << c.what;
    c.check(dir.path(), c.deck);
  }
}

TEST(LiftedLimits, GrownStorageHoldsWhatTheEstablishedRunHolds) {
  // Snapshots 1 .. 25 and the end receivers do not depend on how many others there are.
  ScratchDir within;
  TestDeck small = withSnapshots(25);
  sw::test::writeRun(small);
  ASSERT_EQ(sw::test::runProgram(within.path()).status, 0);

  ScratchDir beyond;
  TestDeck large = withSnapshots(120);
  large.nrec = 250;
  sw::test::writeRun(large);
  ASSERT_EQ(sw::test::runProgram(beyond.path(), {"--lift-limits"}).status, 0);

  for (int c = 5; c <= 6; ++c)
    for (int k = 1; k <= 25; ++k) {
      char established[16], grown[16];
      std::snprintf(established, sizeof established, "fort.%d%02d", c, k);
      std::snprintf(grown, sizeof grown, "fort.%d%03d", c, k);
      EXPECT_EQ(sw::test::readBytes(beyond.path() / grown),
                sw::test::readBytes(within.path() / established))
          << grown;
    }
  for (const char* traces : {"fort.60", "fort.70"}) {
    const std::vector<std::string> a = sw::test::lines(sw::test::readBytes(within.path() / traces));
    const std::vector<std::string> b = sw::test::lines(sw::test::readBytes(beyond.path() / traces));
    const std::size_t nt = loggedSamples(within.path());
    ASSERT_EQ(a.size(), 3 * nt);
    ASSERT_EQ(b.size(), 250 * nt);
    EXPECT_TRUE(std::equal(a.begin(), a.begin() + nt, b.begin())) << traces << ", first";
    EXPECT_TRUE(std::equal(a.end() - nt, a.end(), b.end() - nt)) << traces << ", last";
  }
}

/// Expects a refusal: status 5, the estimate on the standard error stream and as the
/// last line of the log, and nothing of the run's storage allocated.
void expectRefused(const fs::path& dir, const RunResult& r) {
  EXPECT_EQ(r.status, 5) << r.err;
  const std::string prefix = "stripwave: not enough memory: the run needs an estimated ";
  ASSERT_EQ(r.err.rfind(prefix, 0), 0u) << r.err;
  EXPECT_NE(r.err.find(" are available ("), std::string::npos) << r.err;
  const auto log = sw::test::lines(sw::test::readBytes((dir / "output").string()));
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back() + "\n", " " + r.err.substr(std::string("stripwave: ").size()));
#if !defined(__SANITIZE_ADDRESS__)
  EXPECT_LT(r.peakKb, 64 * 1024) << "storage was allocated before the refusal";
#endif
}

TEST(LiftedLimits, AGridTooLargeIsRefusedBeforeTheTablesAreRead) {
  ScratchDir dir;
  TestDeck d;
  d.nx = d.ny = 99999;  // some 22 TiB
  d.xsize = d.ysize = 5.0 * 99999;
  sw::test::writeRun(d);
  EXPECT_EQ(sw::test::runProgram(dir.path()).status, 77);
  const RunResult r = sw::test::runProgram(dir.path(), {"--lift-limits"});
  expectRefused(dir.path(), r);
  EXPECT_NE(r.err.find("TiB (grid "), std::string::npos) << r.err;
  EXPECT_EQ(sw::test::readBytes(dir.path() / "output").find("de unit 1"), std::string::npos);
}

TEST(LiftedLimits, TooManyTimeSamplesAreRefusedBeforeTheWavelet) {
  // stime saturates nt at 2^31 - 1 samples: some 80 GiB of trace and wavelet storage.
  if (sw::availableMemory().bytes > 64.0 * (1 << 30)) GTEST_SKIP() << "this machine has room";
  ScratchDir dir;
  sw::test::writeRun(TestDeck{.stime = 1.0e12});
  EXPECT_EQ(sw::test::runProgram(dir.path()).status, 999 & 0xff);
  const RunResult r = sw::test::runProgram(dir.path(), {"--lift-limits"});
  expectRefused(dir.path(), r);
  EXPECT_NE(sw::test::readBytes(dir.path() / "output").find("jw1 - jw2 - jwlow"),
            std::string::npos);
  EXPECT_EQ(sw::test::readBytes(dir.path() / "fuente_sin_filtrar"), "");
}

}  // namespace

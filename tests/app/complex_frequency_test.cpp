// Runs at the complex frequencies w - i a (--complex-frequency, --damping): the command
// line, the refusals, the warning about records that outlast the period 1/delf, and what
// the damping does to the traces (arrivals that fold back are damped; a record that does
// not fold back is the same as without it).

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/checkpoint.hpp"
#include "app/options.hpp"
#include "core/exit_status.hpp"
#include "support/files.hpp"
#include "support/input_harness.hpp"
#include "support/run.hpp"

namespace sw::test {
namespace {

namespace fs = std::filesystem;

CommandLine parse(std::vector<const char*> args) {
  args.insert(args.begin(), "stripwave");
  return parseCommandLine(static_cast<int>(args.size()), args.data());
}

TEST(ComplexFrequencyOptions, FlagAndDamping) {
  const CommandLine plain = parse({});
  ASSERT_TRUE(plain.run.has_value());
  EXPECT_FALSE(plain.run->complexFrequency);
  EXPECT_FALSE(plain.run->damping.has_value());

  const CommandLine flag = parse({"--complex-frequency"});
  ASSERT_TRUE(flag.run.has_value()) << flag.err;
  EXPECT_TRUE(flag.run->complexFrequency);
  EXPECT_FALSE(flag.run->damping.has_value()) << "pi delf, from the deck";

  const CommandLine given = parse({"--damping", "0.0125", "dir"});
  ASSERT_TRUE(given.run.has_value()) << given.err;
  EXPECT_TRUE(given.run->complexFrequency) << "--damping implies the complex frequency";
  EXPECT_EQ(given.run->damping, 0.0125);
  EXPECT_EQ(given.run->runDir, "dir");
  const CommandLine both = parse({"--complex-frequency", "--damping=2e-3"});
  ASSERT_TRUE(both.run.has_value()) << both.err;
  EXPECT_EQ(both.run->damping, 2e-3);

  for (const char* bad : {"-1", "0", "-0", "nan", "inf", "1e999", "abc", "1x", ""}) {
    const CommandLine r = parse({"--damping", bad});
    EXPECT_EQ(r.status, kExitUsage) << bad;
    EXPECT_FALSE(r.run.has_value()) << bad;
    EXPECT_NE(r.err.find("Usage: stripwave"), std::string::npos) << bad << ": " << r.err;
  }
  const CommandLine negative = parse({"--damping", "-1"});
  EXPECT_NE(negative.err.find("--damping -1: the damping a of the complex frequency w - i a must "
                              "be a positive, finite number"),
            std::string::npos)
      << negative.err;
  EXPECT_EQ(parse({"--damping"}).status, kExitUsage);
}

TEST(ComplexFrequencyOptions, TheHelpNamesThem) {
  const CommandLine help = parse({"--help"});
  EXPECT_NE(help.out.find("--complex-frequency"), std::string::npos);
  EXPECT_NE(help.out.find("--damping G"), std::string::npos);
}

TEST(ComplexFrequencyOptions, ChangeTheCheckpointsFingerprint) {
  ScratchDir here;
  writeRun(TestDeck{});
  Options plain, flag, given, other;
  flag.complexFrequency = given.complexFrequency = other.complexFrequency = true;
  given.damping = 0.5;
  other.damping = 0.25;
  const std::uint64_t a = fingerprintRun(plain).input, b = fingerprintRun(flag).input,
                      c = fingerprintRun(given).input, d = fingerprintRun(other).input;
  EXPECT_NE(a, b);
  EXPECT_NE(a, c);
  EXPECT_NE(b, c);
  EXPECT_NE(c, d);
  EXPECT_EQ(fingerprintRun(given).input, c);
}

/// A homogeneous elastic square of 40 by 40 elements of 10 m (P 3000 m/s, S 1700 m/s),
/// a source of pattern kdel in the middle and 38 receivers along a line 20 m below the
/// top; key 1 at 40 Hz, a band up to 100 Hz, 0.3 s of record.  The S wave takes 0.333 s
/// along the diagonal, so the record needs a period of 0.633 s: npf = 64 (0.64 s);
/// npf = 30 gives 0.3 s, and arrivals fold back into the record.
TestDeck squareDeck(int npf, int kdel) {
  TestDeck d;
  d.nx = d.ny = 40;
  d.xsize = d.ysize = 400.0;
  d.nsnapf = 0;
  d.fsnap.clear();
  d.nsnapt = 1;
  d.tsnap = {0.05};
  d.npf = npf;
  d.key = 1;
  d.freq = 40.0;
  d.stime = 0.3;
  d.f1 = d.f2 = 0.0;
  d.f3 = 80.0;
  d.f4 = 100.0;
  d.maxiter = d.maxlow = 3000;
  d.reduc = 1e-5;
  d.kdel = kdel;
  d.tmute = 0.0;
  d.xsou = d.ysou = 205.0;
  d.nrec = 38;
  d.xinic = 15.0;
  d.xfin = 385.0;
  d.yinic = d.yfin = 385.0;
  d.regions = {{0.0, 400.0, 0.0, 400.0, 1}};
  return d;
}

/// A run directory holding the deck and its tables.
void writeDeck(const TempDir& dir, const TestDeck& deck) {
  ScratchDir here;
  writeRun(deck);
  copyFiles(here.path(), dir.path());
}

/// The traces of a trace file: nrec blocks of nt values.
std::vector<std::vector<double>> traces(const fs::path& file, int nrec) {
  const std::vector<std::string> text = lines(readBytes(file));
  std::vector<std::vector<double>> out(static_cast<std::size_t>(nrec));
  const std::size_t nt = text.size() / static_cast<std::size_t>(nrec);
  EXPECT_EQ(nt * static_cast<std::size_t>(nrec), text.size());
  for (std::size_t k = 0; k < text.size(); ++k)
    out[k / nt].push_back(std::strtod(text[k].c_str(), nullptr));
  return out;
}

struct Square {
  std::vector<std::vector<double>> vx, vy;
  RunResult result;
  std::string log;
};

/// The direct solver where the build has it (a second a run), else the strip iteration.
std::vector<std::string> fastest(std::vector<std::string> args) {
  if (directSolverBuilt()) args.insert(args.end(), {"--solver", "direct"});
  return args;
}

Square runSquare(int npf, int kdel, const std::vector<std::string>& args) {
  TempDir dir;
  const TestDeck deck = squareDeck(npf, kdel);
  writeDeck(dir, deck);
  Square s;
  s.result = runProgram(dir.path(), args);
  EXPECT_EQ(s.result.status, 0) << s.result.err;
  s.vx = traces(dir.path() / "fort.60", deck.nrec);
  s.vy = traces(dir.path() / "fort.70", deck.nrec);
  s.log = readBytes(dir.path() / "output");
  return s;
}

/// Receiver k's distance from the source (element centres, 10 m apart).
double distance(int k) {
  const double x = 15.0 + 10.0 * k - 205.0, y = 385.0 - 205.0;
  return std::hypot(x, y);
}

/// The share of a receiver's energy (both components) before the P wave can reach it:
/// the samples before 0.9 times its travel time.
double earlyShare(const Square& s, int k) {
  const double dt = 10.0 / 3000.0;
  const double onset = 0.9 * distance(k) / 3000.0;
  double early = 0.0, all = 0.0;
  for (std::size_t n = 0; n < s.vy[k].size(); ++n) {
    const double e = s.vx[k][n] * s.vx[k][n] + s.vy[k][n] * s.vy[k][n];
    all += e;
    if (static_cast<double>(n) * dt < onset) early += e;
  }
  return early / all;
}

/// The far receivers: the five at each end of the line (250 to 262 m away).
const std::vector<int> kFar = {0, 1, 2, 3, 4, 33, 34, 35, 36, 37};

TEST(ComplexFrequencyRun, DampsTheArrivalsThatFoldBackIntoTheRecord) {
  // A shear source: its S waves are still crossing the model when the period ends.
  const Square plain = runSquare(30, 2, fastest({}));
  const Square damped = runSquare(30, 2, fastest({"--complex-frequency"}));
  // The record outlasts the period: the plain run is warned, naming the npf it needs; the
  // damped one is not.
  EXPECT_NE(plain.result.fullErr.find("stripwave: warning: stime = 0.3 plus the slowest S wave's "
                                  "time across the model"),
            std::string::npos)
      << plain.result.fullErr;
  EXPECT_NE(plain.result.fullErr.find("npf = 64 (period 0.64) holds them"), std::string::npos)
      << plain.result.fullErr;
  EXPECT_EQ(plain.log.find("complex frequency"), std::string::npos);
  EXPECT_EQ(damped.result.fullErr.find("warning"), std::string::npos) << damped.result.fullErr;
  EXPECT_EQ(countOf(damped.log, " complex frequency: solved at w - i a, a = 10.471976;"), 1)
      << "a = pi delf = pi 100 / 30";

  double plainLeast = 1.0, dampedMost = 0.0;
  for (const int k : kFar) {
    plainLeast = std::min(plainLeast, earlyShare(plain, k));
    dampedMost = std::max(dampedMost, earlyShare(damped, k));
  }
  std::printf(
      "energy before the first arrival on the far traces: at least %.3g %% without "
      "the damping, at most %.3g %% with it\n",
      100.0 * plainLeast, 100.0 * dampedMost);
  EXPECT_GT(plainLeast, 0.01) << "the plain run folds energy back before the first arrival";
  EXPECT_LT(dampedMost, 0.001);
}

/// Relative L2 distance of two sets of traces (both components).
double distanceL2(const Square& a, const Square& b) {
  double d = 0.0, n = 0.0;
  const auto add = [&](const std::vector<std::vector<double>>& x,
                       const std::vector<std::vector<double>>& y) {
    for (std::size_t r = 0; r < x.size(); ++r)
      for (std::size_t k = 0; k < x[r].size(); ++k) {
        d += (x[r][k] - y[r][k]) * (x[r][k] - y[r][k]);
        n += x[r][k] * x[r][k];
      }
  };
  add(a.vx, b.vx);
  add(a.vy, b.vy);
  return std::sqrt(d / n);
}

TEST(ComplexFrequencyRun, ARecordWithinThePeriodIsTheSameWithTheDamping) {
  // An explosion: P waves only, which have left the model within the period.
  const Square plain = runSquare(64, 1, fastest({}));
  EXPECT_EQ(plain.result.fullErr.find("warning"), std::string::npos) << plain.result.fullErr;
  const Square damped = runSquare(64, 1, fastest({"--complex-frequency"}));
  ASSERT_EQ(plain.vy.size(), damped.vy.size());
  const double rel = distanceL2(plain, damped);
  std::printf("relative L2 distance of the traces with and without the damping: %.3g %%\n",
              100.0 * rel);
  EXPECT_LT(rel, 0.02);
  // Twice the damping: the same again.
  const Square more = runSquare(
      64, 1, fastest({"--damping", std::to_string(2.0 * 3.141592653589793 * 100.0 / 64.0)}));
  const double relMore = distanceL2(plain, more);
  std::printf("  with twice the damping: %.3g %%\n", 100.0 * relMore);
  EXPECT_LT(relMore, 0.02);
}

TEST(ComplexFrequencyRun, TheDirectSolverSolvesTheSameSystem) {
  if (!directSolverBuilt()) GTEST_SKIP() << "no direct solver in this build";
  const Square strips = runSquare(30, 2, {"--complex-frequency"});
  const Square direct = runSquare(30, 2, {"--complex-frequency", "--solver", "direct"});
  const double rel = distanceL2(direct, strips);
  std::printf("relative L2 distance, strip iteration against direct solve, damped: %.3g %%\n",
              100.0 * rel);
  EXPECT_LT(rel, 1e-3);
  EXPECT_EQ(countOf(direct.log, " complex frequency: solved at w - i a"), 1);
}

TEST(ComplexFrequencyRun, ADampingWhoseGainOverflowsIsRefusedBeforeAnyFile) {
  TempDir dir;
  writeDeck(dir, squareDeck(30, 1));
  writeBytes(dir.path() / "fort.60", "an earlier result\n");
  const std::vector<std::string> before = fileNames(dir.path());
  // exp(a t) at t = stime = 0.3 overflows from a t = 709.8 on.
  const RunResult r = runProgram(dir.path(), {"--damping", "2400"});
  EXPECT_EQ(r.status, kExitUsage);
  EXPECT_NE(r.err.find("stripwave: --damping 2400: the gain exp(a t) that undoes the damping "
                       "overflows at the end of the record, stime = 0.3 (a t = 720"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("Usage: stripwave"), std::string::npos);
  EXPECT_EQ(fileNames(dir.path()), before);
  EXPECT_EQ(readBytes(dir.path() / "fort.60"), "an earlier result\n");
  // The default a = pi delf overflows at a snapshot far past the period.
  TestDeck late = squareDeck(30, 1);
  late.tsnap = {100.0};
  TempDir other;
  writeDeck(other, late);
  const RunResult l = runProgram(other.path(), {"--complex-frequency"});
  EXPECT_EQ(l.status, kExitUsage);
  EXPECT_NE(l.err.find("stripwave: --complex-frequency (a = pi delf = 10.471976): the gain "
                       "exp(a t) that undoes the damping overflows at snapshot 1, time 100"),
            std::string::npos)
      << l.err;
  EXPECT_FALSE(fs::exists(other.path() / "output"));
}

TEST(ComplexFrequencyRun, ASurveyDampsEveryShotAsItsOwnRun) {
  TempDir survey, alone;
  TestDeck deck = squareDeck(30, 1);
  deck.maxiter = deck.maxlow = 40;  // the files of a shot and of its own run are compared
  writeDeck(survey, deck);
  writeDeck(alone, deck);
  writeBytes(survey.path() / "shots.txt", "205 205\n105 305\n");
  const RunResult s =
      runProgram(survey.path(), {"-q", "--complex-frequency", "--shots", "shots.txt"});
  ASSERT_EQ(s.status, 0) << s.err;
  EXPECT_EQ(s.fullErr.find("warning"), std::string::npos) << s.fullErr;
  const RunResult a = runProgram(alone.path(), {"-q", "--complex-frequency"});
  ASSERT_EQ(a.status, 0) << a.err;
  for (const char* f : {"fort.60", "fort.70", "fort.501", "fort.601"})
    EXPECT_TRUE(readBytes(survey.path() / "shot_0001" / f) == readBytes(alone.path() / f)) << f;
  EXPECT_EQ(withoutCpuTime(readBytes(survey.path() / "shot_0001" / "output")),
            withoutCpuTime(readBytes(alone.path() / "output")));
  EXPECT_EQ(countOf(readBytes(survey.path() / "shot_0002" / "output"), " complex frequency: "), 1);
  // Without the damping the survey is warned once, not once a shot.
  const RunResult w = runProgram(survey.path(), {"-q", "--shots", "shots.txt"});
  ASSERT_EQ(w.status, 0) << w.err;
  EXPECT_EQ(countOf(w.fullErr, "stripwave: warning: stime = 0.3"), 1) << w.fullErr;
}

}  // namespace
}  // namespace sw::test

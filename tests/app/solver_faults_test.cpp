// Whole runs with the direct solver that MUMPS fails: a singular matrix, memory that runs
// out before or inside the factorisation, a workspace that proves too small.  The failures
// MUMPS cannot be brought to by an input are reported from its entry point by a library
// put before it (tests/preload/mumps_fault.c).  Each run must end with its status and a
// message, its log ending with the reason, no result file half-written and the files of
// an earlier run left as they were; a survey lists every shot as missing and why.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/options.hpp"
#include "records/out_file.hpp"
#include "support/files.hpp"
#include "support/input_harness.hpp"
#include "support/run.hpp"

namespace {

namespace fs = std::filesystem;
using sw::test::RunLimits;
using sw::test::RunResult;

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

const fs::path kInput = sw::test::dataDir() / "regression" / "layered_small" / "input";

/// The error stream without the warning that the checkpoint an earlier failed run kept is
/// replaced (each failed run below keeps the checkpoint of the frequencies it solved).
std::string withoutReplacedCheckpoint(const std::string& err) {
  if (err.rfind("stripwave: warning: this directory holds the checkpoint", 0) != 0) return err;
  return err.substr(err.find('\n') + 1);
}

/// Every file of the tree under `dir`, relative name -> contents.
std::map<std::string, std::string> tree(const fs::path& dir) {
  std::map<std::string, std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file())
      out[fs::relative(e.path(), dir).string()] = sw::test::readBytes(e.path().string());
  return out;
}

/// The names under `dir` that are temporary files of a run.
std::vector<std::string> temporaries(const fs::path& dir) {
  std::vector<std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (sw::rec::isTemporaryName(e.path().filename().string()))
      out.push_back(fs::relative(e.path(), dir).string());
  return out;
}

/// The last line of a file.
std::string lastLine(const fs::path& file) {
  const auto lines = sw::test::lines(sw::test::readBytes(file));
  return lines.empty() ? std::string() : lines.back();
}

#if defined(STRIPWAVE_MUMPS_FAULT)
/// Limits of a run whose MUMPS reports INFO1, INFO2 at the `call`-th call of `job`.
RunLimits fault(int job, int call, int info1, int info2) {
  RunLimits l;
  l.preload = STRIPWAVE_MUMPS_FAULT;
  l.environment["STRIPWAVE_MUMPS_FAULT"] = std::to_string(job) + " " + std::to_string(call) +
                                           " " + std::to_string(info1) + " " +
                                           std::to_string(info2);
  return l;
}
#endif

/// The files of the earlier run in `dir`, which a failed run must leave as they were
/// (the logs and the list of shots aside: they are the new run's from its start; and the
/// checkpoint a run keeps after finished frequencies, as one that is killed does).
std::map<std::string, std::string> earlierResults(const fs::path& dir) {
  auto files = tree(dir);
  for (auto it = files.begin(); it != files.end();)
    it = it->first == "output" || it->first.ends_with("/output") || it->first == "survey.txt" ||
                 it->first == ".stripwave.checkpoint"
             ? files.erase(it)
             : ++it;
  return files;
}

/// A grid whose factorisation needs more than kAddressSpace bytes, which hold the process
/// at its start and the analysis.
constexpr int kLargeSide = 400;
constexpr long kAddressSpace = 1L << 30;

struct Failure {
  int job, call, info1, info2;
  int status;
  const char* err;  ///< on the standard error stream, after "stripwave: "
};

/// The failures of the runs below and how they are told.
const Failure kFailures[] = {
    {2, 3, -10, 7, 4,
     "the whole-grid matrix is numerically singular in the factorisation: a pivot is zero "
     "(MUMPS INFOG(1) = -10, INFOG(2) = 7); no snapshot or trace file was written"},
    {1, 1, -6, 1199, 4,
     "the whole-grid matrix is structurally singular in the analysis (MUMPS INFOG(1) = -6, "
     "INFOG(2) = 1199); no snapshot or trace file was written"},
    {2, 2, -13, -3, 5,
     "not enough memory: the direct solver ran out of memory in the factorisation: an "
     "allocation of 3 million entries failed (MUMPS INFOG(1) = -13, INFOG(2) = -3)"},
    {1, 1, -7, 20000, 5,
     "not enough memory: the direct solver ran out of memory in the analysis: an allocation "
     "of 20000 entries failed (MUMPS INFOG(1) = -7, INFOG(2) = 20000)"},
    {3, 2, -11, 0, 5,
     "not enough memory: the direct solver's workspace stayed too small in the solve (MUMPS "
     "INFOG(1) = -11, INFOG(2) = 0)"},
    {2, 1, -3, 2, 3, "the direct solver failed in the factorisation (MUMPS INFOG(1) = -3, "
                     "INFOG(2) = 2)"},
};

TEST(DirectFaults, AFailedRunEndsWithItsStatusAndLeavesTheEarlierResults) {
#if !defined(STRIPWAVE_MUMPS_FAULT)
  GTEST_SKIP() << "no direct solver in this build";
#else
  sw::test::TempDir dir;
  sw::test::copyFiles(kInput, dir.path());
  ASSERT_EQ(sw::test::runProgram(dir.path(), {"-q"}).status, 0);
  const auto earlier = earlierResults(dir.path());
  ASSERT_EQ(earlier.count("fort.60"), 1u);
  for (const Failure& f : kFailures) {
    const RunResult r = sw::test::runProgram(dir.path(), {"-q", "--solver", "direct"},
                                             fault(f.job, f.call, f.info1, f.info2));
    EXPECT_EQ(r.status, f.status) << f.err << "\n" << r.err;
    EXPECT_EQ(withoutReplacedCheckpoint(r.err), std::string("stripwave: ") + f.err + "\n");
    // The log ends with the reason, after the frequencies solved before.
    const std::string log = sw::test::readBytes(dir.path() / "output");
    const std::string reason = std::string(f.err).substr(0, std::string(f.err).find(';'));
    EXPECT_EQ(lastLine(dir.path() / "output"), " " + reason) << f.err;
    const int solved = f.job == 1 ? 0 : f.call - 1;
    EXPECT_EQ(sw::test::countOf(log, " direct solve  for freq. # "), solved) << f.err;
    EXPECT_TRUE(earlierResults(dir.path()) == earlier) << f.err << ": an earlier file changed";
    EXPECT_EQ(temporaries(dir.path()), std::vector<std::string>()) << f.err;
  }
#endif
}

TEST(DirectFaults, AWorkspaceTooSmallIsEnlargedAndTheRunGoesOn) {
#if !defined(STRIPWAVE_MUMPS_FAULT)
  GTEST_SKIP() << "no direct solver in this build";
#else
  sw::test::TempDir plain, retried;
  sw::test::copyFiles(kInput, plain.path());
  sw::test::copyFiles(kInput, retried.path());
  ASSERT_EQ(sw::test::runProgram(plain.path(), {"-q", "--solver", "direct"}).status, 0);
  // The second factorisation says its real workspace is too small (INFOG(1) = -9): it is
  // repeated with a larger one, and the run's files are those of a run without the fault.
  const RunResult r = sw::test::runProgram(retried.path(), {"-q", "--solver", "direct"},
                                           fault(2, 2, -9, 1000));
  ASSERT_EQ(r.status, 0) << r.err;
  auto a = tree(plain.path()), b = tree(retried.path());
  a["output"] = sw::test::withoutCpuTime(a["output"]);
  b["output"] = sw::test::withoutCpuTime(b["output"]);
  EXPECT_TRUE(a == b);
#endif
}

TEST(DirectFaults, AFailedSurveyListsEveryShotAsMissing) {
#if !defined(STRIPWAVE_MUMPS_FAULT)
  GTEST_SKIP() << "no direct solver in this build";
#else
  sw::test::TempDir dir;
  sw::test::copyFiles(kInput, dir.path());
  sw::test::writeBytes(dir.path() / "shots.txt", "375 425\n200 300\n500 250 shear\n");
  ASSERT_EQ(sw::test::runProgram(dir.path(), {"-q", "--shots", "shots.txt"}).status, 0);
  const auto earlier = earlierResults(dir.path());
  ASSERT_EQ(earlier.count("shot_0003/fort.60"), 1u);
  for (const Failure& f : kFailures) {
    const RunResult r =
        sw::test::runProgram(dir.path(), {"-q", "--solver", "direct", "--shots", "shots.txt"},
                             fault(f.job, f.call, f.info1, f.info2));
    EXPECT_EQ(r.status, f.status) << f.err << "\n" << r.err;
    EXPECT_EQ(withoutReplacedCheckpoint(r.err),
              std::string("stripwave: ") + f.err +
                  "\nstripwave: the files of shots 1, 2 and 3 are missing (survey.txt)\n");
    const std::string reason = std::string(f.err).substr(0, std::string(f.err).find(';'));
    const std::string list = sw::test::readBytes(dir.path() / "survey.txt");
    EXPECT_TRUE(has(list, "0 complete, 0 non-finite, 3 missing")) << list;
    EXPECT_TRUE(has(list, "\n1 shot_0001 1 375 425 explosion 16 18 missing (" + reason + ")\n"))
        << list;
    EXPECT_TRUE(has(list, "\n3 shot_0003 3 500 250 shear 21 11 missing (" + reason + ")\n"))
        << list;
    for (const char* shot : {"shot_0001", "shot_0002", "shot_0003"})
      EXPECT_EQ(lastLine(dir.path() / shot / "output"), " " + reason) << shot;
    EXPECT_TRUE(earlierResults(dir.path()) == earlier) << f.err << ": an earlier file changed";
    EXPECT_EQ(temporaries(dir.path()), std::vector<std::string>()) << f.err;
  }
#endif
}

/// A deck of nx by nx elements of 10 m with the tables of one material.
void squareRun(int nx) {
  sw::test::TestDeck d;
  sw::test::grid10(d);
  d.nx = d.ny = nx;
  d.xsize = d.ysize = 10.0 * nx;
  d.regions = {{0.0, d.xsize, 0.0, d.ysize, 1}};
  d.xsou = d.ysou = 5.0 * nx;
  d.xinic = 5.0;
  d.xfin = 10.0 * nx - 5.0;
  d.yinic = d.yfin = 15.0;
  sw::test::writeRun(d);
}

TEST(DirectFaults, AFactorisationThatDoesNotFitIsRefusedBeforeIt) {
  if (!sw::directSolverBuilt()) GTEST_SKIP() << "no direct solver in this build";
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer's shadow memory does not fit under the limit";
#endif
  sw::test::ScratchDir dir;
  squareRun(kLargeSide);
  // Files of an earlier run, which the refused one must leave alone.
  const std::vector<std::string> earlier = {"fort.60", "fort.70", "fort.601", "fort.502"};
  for (const std::string& f : earlier) sw::test::writeBytes(dir.file(f), "earlier " + f + "\n");
  RunLimits limits;
  limits.addressSpaceBytes = kAddressSpace;
  const RunResult r = sw::test::runProgram(dir.path(), {"-q", "-t", "1", "--solver", "direct"}, limits);
  EXPECT_EQ(r.status, 5) << r.err;
  const std::string prefix = "stripwave: not enough memory: the direct solver needs an estimated ";
  ASSERT_EQ(r.err.rfind(prefix, 0), 0u) << r.err;
  EXPECT_TRUE(has(r.err, " are available (address-space limit)\n")) << r.err;
  EXPECT_EQ(lastLine(dir.path() / "output") + "\n",
            " " + r.err.substr(std::string("stripwave: ").size()));
  EXPECT_EQ(sw::test::countOf(sw::test::readBytes(dir.path() / "output"), "freq. #"), 0);
  for (const std::string& f : earlier)
    EXPECT_EQ(sw::test::readBytes(dir.file(f)), "earlier " + f + "\n") << f;
  EXPECT_FALSE(fs::exists(dir.path() / ".stripwave.checkpoint"));
  std::fprintf(stderr, "%s", r.err.c_str());  // the estimate, for the record
  EXPECT_EQ(temporaries(dir.path()), std::vector<std::string>());
}

}  // namespace

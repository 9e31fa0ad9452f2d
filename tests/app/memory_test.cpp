// The memory of a run: the estimate against measured peaks, what the machine can give
// (/proc/meminfo, cgroup limits), and the text of byte counts.

#include "app/memory.hpp"

#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "support/files.hpp"
#include "support/input_harness.hpp"
#include "support/run.hpp"

namespace {

namespace fs = std::filesystem;

/// A fake /proc and /sys/fs/cgroup in a scratch directory.
struct FakeKernel {
  sw::test::TempDir dir;
  sw::MemorySources from;

  FakeKernel() {
    from.meminfo = dir.file("meminfo");
    from.selfCgroup = dir.file("cgroup");
    from.cgroupRoot = dir.file("sys");
    from.addressSpace = false;
    fs::create_directories(from.cgroupRoot);
  }
  void put(const std::string& rel, const std::string& text) {
    const fs::path p = fs::path(from.cgroupRoot) / rel;
    fs::create_directories(p.parent_path());
    sw::test::writeBytes(p.string(), text);
  }
};

constexpr double kKiB = 1024.0, kGiB = 1024.0 * 1024.0 * 1024.0;

/// Peak resident size of a run of `deck` with the limits lifted, and its estimate.
struct Peak {
  double measured = 0.0;
  double estimated = 0.0;
};

/// A deck of the test harness's tiny grid with many snapshots and receivers and few passes.
sw::test::TestDeck tinyDeck() {
  sw::test::TestDeck tiny;
  tiny.nsnapt = 30;
  tiny.tsnap.assign(30, 0.03);
  tiny.nrec = 250;
  tiny.maxiter = tiny.maxlow = 3;
  return tiny;
}

/// With `shots` > 0, a survey of that many shots at the deck's source position; with
/// `layer` > 0, inside a matched layer of that many elements (the strip iteration).
Peak measurePeak(const sw::test::TestDeck& deck, int shots = 0, int layer = 0) {
  sw::test::ScratchDir dir;
  sw::test::writeRun(deck);
  std::vector<std::string> args = {"--lift-limits"};
  if (shots > 0) {
    std::string text;
    for (int k = 0; k < shots; ++k)
      text += std::to_string(deck.xsou) + " " + std::to_string(deck.ysou) + "\n";
    sw::test::writeBytes(dir.file("shots.txt"), text);
    args.insert(args.end(), {"--shots", "shots.txt"});
  }
  if (layer > 0) args.insert(args.end(), {"--pml", std::to_string(layer)});
  const sw::test::RunResult r = sw::test::runProgram(dir.path(), args);
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string log =
      sw::test::readBytes(dir.path() / (shots > 0 ? "shot_0001/output" : "output"));
  const std::string label = "number of time steps  nt =";
  sw::RunShape s;
  s.nx = deck.nx;
  s.ny = deck.ny;
  s.nsnapt = deck.nsnapt;
  s.nfreq = deck.npf;
  s.tableFreqs = 600;
  s.nrec = deck.nrec;
  s.nt = std::stol(log.substr(log.find(label) + label.size()));
  const long ex = deck.nx + 2L * layer, ey = deck.ny + 2L * layer;
  s.threads = ex * ey >= 4096 ? omp_get_max_threads() : 1;
  s.shots = std::max(shots, 1);
  s.layer = layer;
  s.layerIteration = layer > 0;
  return {static_cast<double>(r.peakKb) * kKiB, sw::estimateMemory(s).total()};
}

/// A deck of 160 x 120 elements with many snapshots and receivers and few passes.
sw::test::TestDeck largeDeck() {
  sw::test::TestDeck large = tinyDeck();
  large.nx = 160;
  large.ny = 120;
  large.xsize = 800.0;
  large.ysize = 600.0;
  large.regions = {{0.0, 800.0, 0.0, 600.0, 1}};
  large.xsou = 400.0;
  large.xfin = 795.0;
  large.yinic = large.yfin = 590.0;
  return large;
}

TEST(MemoryEstimate, FollowsTheMeasuredPeakOfARun) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's own memory hides the run's";
#endif
  // The same counts on a tiny and on a larger grid: the difference of the peaks is the
  // storage that grows with the run, which the estimate must give within 5 %.
  const sw::test::TestDeck tiny = tinyDeck(), large = largeDeck();
  const Peak a = measurePeak(tiny), b = measurePeak(large);
  const double measured = b.measured - a.measured, estimated = b.estimated - a.estimated;
  EXPECT_NEAR(estimated / measured, 1.0, 0.05)
      << "estimated " << sw::bytesText(estimated) << ", measured " << sw::bytesText(measured)
      << ": update estimateMemory to the storage of a run";
  // What is resident before a run allocates anything.
  EXPECT_NEAR(a.measured - a.estimated, sw::startupBytes(), 4.0 * 1024 * 1024)
      << sw::bytesText(a.measured - a.estimated);
}

TEST(MemoryEstimate, CountsTheStripIterationOfALayer) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's own memory hides the run's";
#endif
  // The layer's strip iteration (scalar kernels, GMRES's basis) on the two grids.
  const Peak a = measurePeak(tinyDeck(), 0, 20), b = measurePeak(largeDeck(), 0, 20);
  const double measured = b.measured - a.measured, estimated = b.estimated - a.estimated;
  EXPECT_NEAR(estimated / measured, 1.0, 0.1)
      << "estimated " << sw::bytesText(estimated) << ", measured " << sw::bytesText(measured)
      << ": update estimateMemory to the storage of a layer's strip iteration";
}

TEST(MemoryEstimate, CountsTheFieldsAndSumsOfEveryShotOfASurvey) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's own memory hides the run's";
#endif
  // Four shots against one on the larger grid: the difference is what each shot keeps of
  // its own (fields, their export, snapshot sums, receiver spectra).
  const sw::test::TestDeck large = largeDeck();
  const Peak one = measurePeak(large, 1), four = measurePeak(large, 4);
  const double measured = four.measured - one.measured,
               estimated = four.estimated - one.estimated;
  EXPECT_NEAR(estimated / measured, 1.0, 0.1)
      << "estimated " << sw::bytesText(estimated) << ", measured " << sw::bytesText(measured)
      << ": update estimateMemory to the storage of a shot";
}

TEST(AvailableMemory, SmallestOfMemAvailableAndTheCgroupLimitsAboveTheRun) {
  struct Case {
    const char* what;
    const char* meminfo;  ///< nullptr: no such file
    const char* cgroup;   ///< the run's /proc/self/cgroup, nullptr: no such file
    std::vector<std::pair<std::string, std::string>> files;  ///< under /sys/fs/cgroup
    double bytes;
    const char* source;  ///< nullptr: not asserted
  };
  const char* const meminfo = "MemAvailable: 20000000 kB\n";
  // clang-format off
  const Case cases[] = {
      {"MemAvailable alone",
       "MemTotal:       24683736 kB\nMemFree:  100 kB\nMemAvailable:   20000000 kB\nBuffers: 5 kB\n",
       nullptr, {}, 20000000 * kKiB, "MemAvailable"},
      {"cgroup v2 limits at every level: 4 GiB for the parent group", meminfo, "0::/user/job\n",
       {{"user/job/memory.max", "max\n"}, {"user/job/memory.current", "1000\n"},
        {"user/memory.max", "4294967296\n"}, {"user/memory.current", "1073741824\n"}},
       3 * kGiB, "cgroup limit"},
      {"cgroup v1 memory controller, no limit above it", meminfo,
       "5:cpu,cpuacct:/\n4:memory:/batch/7\n0::/\n",
       {{"memory/batch/7/memory.limit_in_bytes", "2147483648\n"},
        {"memory/batch/7/memory.usage_in_bytes", "536870912\n"},
        {"memory/memory.limit_in_bytes", "9223372036854771712\n"},
        {"memory/memory.usage_in_bytes", "10\n"}},
       1.5 * kGiB, "cgroup limit"},
      {"own group shown as the root in a namespace", nullptr, "0::/not/visible/here\n",
       {{"memory.max", "1073741824\n"}, {"memory.current", "0\n"}}, kGiB, nullptr},
      {"nothing there", nullptr, nullptr, {}, INFINITY, nullptr},
      {"nothing readable", "MemAvailable: lots kB\n", "0::/\n",
       {{"memory.max", "max\n"}, {"memory.current", "5\n"}}, INFINITY, nullptr},
      {"usage above the limit", nullptr, "0::/\n",
       {{"memory.max", "100\n"}, {"memory.current", "200\n"}}, 0.0, nullptr},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeKernel k;
    if (c.meminfo != nullptr) sw::test::writeBytes(k.from.meminfo, c.meminfo);
    if (c.cgroup != nullptr) sw::test::writeBytes(k.from.selfCgroup, c.cgroup);
    for (const auto& [rel, text] : c.files) k.put(rel, text);
    const sw::AvailableMemory a = sw::availableMemory(k.from);
    EXPECT_EQ(a.bytes, c.bytes);
    if (c.source != nullptr) EXPECT_EQ(a.source, c.source);
  }
}

TEST(AvailableMemory, ThisMachineTellsSomething) {
  const sw::AvailableMemory a = sw::availableMemory();
  EXPECT_GT(a.bytes, 0.0);
  EXPECT_FALSE(a.source.empty());
}

TEST(BytesText, ThreeDigitsInBinaryUnits) {
  const std::pair<double, const char*> cases[] = {
      {0.0, "0 KiB"},
      {1000.0, "0.977 KiB"},
      {1.5 * 1024 * 1024, "1.5 MiB"},
      {943.4 * 1024 * 1024, "943 MiB"},
      {1023.9 * 1024 * 1024, "1024 MiB"},
      {1.25 * kGiB, "1.25 GiB"},
      {12.44 * kGiB, "12.4 GiB"},
      {3.0 * 1024 * kGiB, "3 TiB"},
      {INFINITY, "unlimited"},
  };
  for (const auto& [bytes, text] : cases) EXPECT_EQ(sw::bytesText(bytes), text) << bytes;
}

}  // namespace

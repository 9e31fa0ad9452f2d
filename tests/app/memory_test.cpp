// The memory a run can get: /proc/meminfo, cgroup limits; the text of byte counts.

#include "app/memory.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "support/files.hpp"

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

TEST(AvailableMemory, MemAvailableAlone) {
  FakeKernel k;
  sw::test::writeBytes(k.from.meminfo,
                       "MemTotal:       24683736 kB\nMemFree:  100 kB\nMemAvailable:   "
                       "20000000 kB\nBuffers: 5 kB\n");
  const sw::AvailableMemory a = sw::availableMemory(k.from);
  EXPECT_EQ(a.bytes, 20000000 * kKiB);
  EXPECT_EQ(a.source, "MemAvailable");
}

TEST(AvailableMemory, CgroupTwoLimitsAtEveryLevel) {
  FakeKernel k;
  sw::test::writeBytes(k.from.meminfo, "MemAvailable: 20000000 kB\n");
  sw::test::writeBytes(k.from.selfCgroup, "0::/user/job\n");
  k.put("user/job/memory.max", "max\n");
  k.put("user/job/memory.current", "1000\n");
  k.put("user/memory.max", "4294967296\n");  // 4 GiB for the parent group
  k.put("user/memory.current", "1073741824\n");
  const sw::AvailableMemory a = sw::availableMemory(k.from);
  EXPECT_EQ(a.bytes, 3 * kGiB);
  EXPECT_EQ(a.source, "cgroup limit");
}

TEST(AvailableMemory, CgroupOneMemoryController) {
  FakeKernel k;
  sw::test::writeBytes(k.from.meminfo, "MemAvailable: 20000000 kB\n");
  sw::test::writeBytes(k.from.selfCgroup, "5:cpu,cpuacct:/\n4:memory:/batch/7\n0::/\n");
  k.put("memory/batch/7/memory.limit_in_bytes", "2147483648\n");
  k.put("memory/batch/7/memory.usage_in_bytes", "536870912\n");
  k.put("memory/memory.limit_in_bytes", "9223372036854771712\n");  // no limit
  k.put("memory/memory.usage_in_bytes", "10\n");
  const sw::AvailableMemory a = sw::availableMemory(k.from);
  EXPECT_EQ(a.bytes, 1.5 * kGiB);
  EXPECT_EQ(a.source, "cgroup limit");
}

TEST(AvailableMemory, OwnGroupShownAsRootInANamespace) {
  FakeKernel k;
  sw::test::writeBytes(k.from.selfCgroup, "0::/not/visible/here\n");
  k.put("memory.max", "1073741824\n");
  k.put("memory.current", "0\n");
  EXPECT_EQ(sw::availableMemory(k.from).bytes, kGiB);
}

TEST(AvailableMemory, NothingReadableMeansNoLimit) {
  FakeKernel k;  // no files at all
  EXPECT_TRUE(std::isinf(sw::availableMemory(k.from).bytes));
  sw::test::writeBytes(k.from.meminfo, "MemAvailable: lots kB\n");
  sw::test::writeBytes(k.from.selfCgroup, "0::/\n");
  k.put("memory.max", "max\n");
  k.put("memory.current", "5\n");
  EXPECT_TRUE(std::isinf(sw::availableMemory(k.from).bytes));
}

TEST(AvailableMemory, UsageAboveTheLimitLeavesNothing) {
  FakeKernel k;
  sw::test::writeBytes(k.from.selfCgroup, "0::/\n");
  k.put("memory.max", "100\n");
  k.put("memory.current", "200\n");
  EXPECT_EQ(sw::availableMemory(k.from).bytes, 0.0);
}

TEST(AvailableMemory, ThisMachineTellsSomething) {
  const sw::AvailableMemory a = sw::availableMemory();
  EXPECT_GT(a.bytes, 0.0);
  EXPECT_FALSE(a.source.empty());
}

TEST(BytesText, ThreeDigitsInBinaryUnits) {
  const std::pair<double, const char*> cases[] = {
      {0.0, "0 MiB"},
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

// The fuzz targets' seed corpus and every input a fuzzer found troublesome, replayed
// through the same entry points: each must end in a documented way (under `make
// sanitize` also without a sanitizer report).

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "harness.hpp"
#include "support/files.hpp"

namespace {

namespace fs = std::filesystem;

using Entry = void (*)(const std::uint8_t*, std::size_t);

struct Target {
  const char* name;
  Entry entry;
};

/// Inputs of a target: its seeds and its findings (tests/data/fuzz_findings/<target>).
std::vector<fs::path> inputsOf(const std::string& target) {
  std::vector<fs::path> inputs;
  for (const fs::path& dir :
       {fs::path(STRIPWAVE_FUZZ_CORPUS) / target, sw::test::dataDir() / "fuzz_findings" / target})
    if (fs::exists(dir))
      for (const auto& e : fs::directory_iterator(dir))
        if (e.is_regular_file()) inputs.push_back(e.path());
  std::sort(inputs.begin(), inputs.end());
  return inputs;
}

class FuzzReplay : public testing::TestWithParam<Target> {};

TEST_P(FuzzReplay, EveryInputEndsInADocumentedWay) {
  const Target& t = GetParam();
  const std::vector<fs::path> inputs = inputsOf(t.name);
  EXPECT_FALSE(inputs.empty());
  sw::test::ScratchDir dir;
  for (const fs::path& p : inputs) {
    const std::string bytes = sw::test::readBytes(p.string());
    EXPECT_NO_THROW(t.entry(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()))
        << p;
  }
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplay,
                         testing::Values(Target{"records", sw::fuzz::readRecords},
                                         Target{"deck", sw::fuzz::readDeck},
                                         Target{"tables", sw::fuzz::readTables},
                                         Target{"model", sw::fuzz::readModel}),
                         [](const testing::TestParamInfo<Target>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace

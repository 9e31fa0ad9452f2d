// The deck and the tables are read only as far as the run needs them, and a file far
// larger than any valid one is refused instead of being read.

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "support/input_harness.hpp"

namespace sw::test {
namespace {

struct BoundCase {
  const char* name;
  int nmat;
  const char* file;     ///< the file replaced
  bool endless;         ///< a link to /dev/zero (refused as no regular file), else a valid
                        ///< file grown to 2 GiB
  const char* message;  ///< IoError text after the file name; empty: the run goes on
};

class BoundedInput : public testing::TestWithParam<BoundCase> {};

TEST_P(BoundedInput, RefusesOrLeavesUnread) {
  const BoundCase& c = GetParam();
  ScratchDir dir;
  TestDeck deck;
  deck.nmat = c.nmat;
  if (c.nmat >= 3) deck.regions.push_back({20.0, 30.0, 10.0, 20.0, 3});
  writeRun(deck);
  if (c.endless) {
    fs::remove(c.file);
    fs::create_symlink("/dev/zero", c.file);
  } else {
    if (!fs::exists(c.file)) writeBytes(c.file, "    3\n");
    fs::resize_file(c.file, std::uintmax_t{2} << 30);  // sparse: zeros after the content
  }
  const InputRun r = runReadInput();
  if (std::string(c.message).empty()) {
    EXPECT_EQ(r.outcome.kind, Outcome::Kind::Returned) << r.outcome.message;
  } else {
    // A device is refused when the files are connected, a huge file once its size is known.
    EXPECT_EQ(r.outcome.kind, c.endless ? Outcome::Kind::ConnectFailed : Outcome::Kind::IoFailed);
    const std::string prefix = c.endless ? "cannot open " : "";
    EXPECT_EQ(r.outcome.message, prefix + c.file + c.message);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Files, BoundedInput,
    testing::Values(
        BoundCase{"DeckEndless", 2, "inp_A", true,
                  ": a character device stands there, not a regular file"},
        BoundCase{"DeckHuge", 2, "inp_A", false,
                  ": 2147483648 bytes, far more than a deck for a 10 x 8 grid and 199998 "
                  "snapshot lines can need (at most 51385088 bytes); refused"},
        BoundCase{"TableHuge", 2, "s_modulus.freq", false,
                  ": 2147483648 bytes, far more than a table of 20 materials of nf = 6 records "
                  "can need (at most 106496 bytes); refused"},
        BoundCase{"UsedAnisotropicTableEndless", 3, "p33_interp.freq", true,
                  ": a character device stands there, not a regular file"},
        BoundCase{"UnusedAnisotropicTableHuge", 2, "p66_interp.freq", false, ""}),
    [](const testing::TestParamInfo<BoundCase>& info) { return std::string(info.param.name); });

TEST(BoundedInput, SnapshotLinesCountInTheBoundOfTheDeck) {
  // 5000 frequency-snapshot lines (105 kB) on a 1 x 1 grid, whose header and region lines
  // alone allow 84 kB: every line is read before the count's stop code, not refused.
  ScratchDir dir;
  TestDeck deck;
  deck.nx = deck.ny = 1;
  deck.nsnapf = 5000;
  deck.fsnap.assign(5000, 30.0);
  const InputRun r = readDeck(deck);
  EXPECT_EQ(r.outcome.kind, Outcome::Kind::Stopped) << r.outcome.message;
  EXPECT_EQ(r.outcome.code, std::optional<int>(5183)) << r.outcome.message;
}

}  // namespace
}  // namespace sw::test

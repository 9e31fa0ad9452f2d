// Every formatted and free-form read scenario: values assigned, values left alone,
// the next record position, and errors at the right read with the partial values.

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "records/in_file.hpp"
#include "records/io_error.hpp"
#include "records/layout.hpp"
#include "support/files.hpp"
#include "support/json.hpp"
#include "support/vectors.hpp"

namespace {

using sw::rec::InFile;
using sw::rec::Layout;
using sw::rec::Target;
using sw::test::Json;

// The values every variable holds before a read, as in the vectors.
constexpr int kIntSentinel = -777777777;
constexpr double kRealSentinel = -7.77e77;

/// The variables of one read: one slot per item, of the item's type.
struct Slots {
  std::vector<int> ints;
  std::vector<double> reals;
  std::vector<bool> isInt;
  std::vector<Target> targets;

  explicit Slots(const Json& items) {
    const std::size_t n = items.size();
    ints.assign(n, kIntSentinel);
    reals.assign(n, kRealSentinel);
    for (std::size_t j = 0; j < n; ++j) {
      isInt.push_back(items[j] == "int32");
      if (isInt.back())
        targets.emplace_back(ints[j]);
      else
        targets.emplace_back(reals[j]);
    }
  }
};

/// Compares the slots with the expected values ("defined": false means unchanged).
void expectValues(const std::string& where, const Slots& s, const Json& expected) {
  ASSERT_EQ(expected.size(), s.isInt.size()) << where;
  for (std::size_t j = 0; j < expected.size(); ++j) {
    const Json& e = expected[j];
    const bool defined = e["defined"].get<bool>();
    const std::string item = where + " item " + std::to_string(j + 1);
    if (s.isInt[j]) {
      EXPECT_EQ(s.ints[j], defined ? e["value"].get<int>() : kIntSentinel) << item;
    } else {
      const double want = defined ? sw::test::doubleFromBits(e["bits"]) : kRealSentinel;
      EXPECT_EQ(sw::test::hexBits(s.reals[j]), sw::test::hexBits(want)) << item;
    }
  }
}

/// The record the next read of `in` starts at, or nothing at the end of the file: a copy
/// of `in` skips records until the end, and the count left locates the record among
/// `records`, the records of the whole file.
std::optional<std::string> nextRecord(const InFile& in, const std::vector<std::string>& records) {
  InFile copy = in;
  std::size_t left = 0;
  try {
    for (;;) {
      copy.read(Layout("(i5)"), std::span<const Target>{});
      ++left;
    }
  } catch (const sw::rec::IoError&) {
  }
  if (left == 0) return std::nullopt;
  return records.at(records.size() - left);
}

void runScenario(const Json& v, std::map<std::string, Layout, std::less<>>& layouts) {
  const std::string id = v["id"];
  sw::test::TempDir dir;
  const std::string path = dir.file("read_input.txt");
  sw::test::writeBytes(path, v["input_raw"].get<std::string>());
  InFile in;
  in.open(path);

  const bool failing = v["outcome"] == "error";
  const std::size_t errorOp = failing ? v["error"]["op"].get<std::size_t>() : 0;
  std::map<std::size_t, const Json*> results;
  for (const Json& r : v["results"]) results[r["op"].get<std::size_t>()] = &r;

  const Json& ops = v["ops"];
  for (std::size_t k = 1; k <= ops.size(); ++k) {
    const Json& op = ops[k - 1];
    const std::string where = id + " op " + std::to_string(k);
    if (op.contains("probe")) {
      ASSERT_TRUE(results.count(k)) << where;
      const Json& r = *results[k];
      const auto next = nextRecord(in, v["input_lines"].get<std::vector<std::string>>());
      if (r["eof"].get<bool>()) {
        EXPECT_FALSE(next.has_value()) << where;
      } else {
        ASSERT_TRUE(next.has_value()) << where;
        EXPECT_EQ(*next, r["next_record"].get<std::string>()) << where;
      }
      continue;
    }
    Slots slots(op["items"]);
    const std::string layoutText = op["layout"];
    auto perform = [&] {
      if (layoutText == "*") {
        in.readList(slots.targets);
      } else {
        const Layout& layout = layouts.try_emplace(layoutText, layoutText).first->second;
        in.read(layout, slots.targets);
      }
    };
    if (k == errorOp) {
      try {
        perform();
        ADD_FAILURE() << where << ": no error raised";
      } catch (const sw::rec::IoError& e) {
        const std::string message = e.what();
        EXPECT_EQ(message.rfind(path + ", record ", 0), 0u)
            << where << ": message does not name the file and record: " << message;
      }
      expectValues(where + " (partial)", slots, v["error"]["partial_values"]);
      return;
    }
    try {
      perform();
    } catch (const std::exception& e) {
      ADD_FAILURE() << where << ": unexpected error: " << e.what();
      return;
    }
    ASSERT_TRUE(results.count(k)) << where;
    expectValues(where, slots, (*results[k])["values"]);
  }
  EXPECT_FALSE(failing) << id << ": the expected error was not reached";
}

void runFile(const char* name, int expectedCount) {
  std::map<std::string, Layout, std::less<>> layouts;
  int count = 0;
  for (const Json& v : sw::test::readJsonLines(name)) {
    if (v["kind"] != "read") continue;
    ++count;
    runScenario(v, layouts);
  }
  EXPECT_EQ(count, expectedCount);
}

TEST(ReadVectors, EveryFormattedReadMatches) { runFile("format_vectors/read_vectors.jsonl", 164); }

TEST(ReadVectors, EveryFreeFormReadMatches) { runFile("format_vectors/listdirected.jsonl", 124); }

}  // namespace

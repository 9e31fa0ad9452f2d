// Every formatted and free-form write vector, rendered and compared byte for byte.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "records/layout.hpp"
#include "records/render.hpp"
#include "records/value.hpp"
#include "support/json.hpp"
#include "support/vectors.hpp"

namespace {

using sw::rec::Item;
using sw::rec::Layout;
using sw::rec::Value;
using sw::test::Json;

/// A value of the vectors; a text refers into `v`.
Value valueOf(const Json& v) {
  if (v["type"] == "int32") return Value(v["value"].get<int>());
  if (v["type"] == "real64") return Value(sw::test::doubleFromBits(v["bits"]));
  return Value(std::string_view(v["value"].get_ref<const std::string&>()));
}

TEST(WriteVectors, EveryFormattedWriteMatches) {
  const auto vectors = sw::test::readJsonLines("format_vectors/write_vectors.jsonl");
  ASSERT_EQ(vectors.size(), 4755u);
  std::map<std::string, Layout, std::less<>> layouts;
  for (const Json& v : vectors) {
    const std::string id = v["id"];
    const std::string text = v["layout"];
    const Layout& layout = layouts.try_emplace(text, text).first->second;
    std::vector<Value> values;
    std::vector<double> reals;
    bool allReal = true;
    for (const Json& x : v["values"]) {
      values.push_back(valueOf(x));
      allReal = allReal && values.back().kind == Value::Kind::Real;
      reals.push_back(values.back().d);
    }
    const std::string raw = v["raw"];

    std::string out;
    sw::rec::render(out, layout, values);
    EXPECT_EQ(out, raw) << id << " " << text;

    if (allReal && layout.valueCount() > 0) {
      std::string bulk;
      sw::rec::renderReals(bulk, layout, reals);
      EXPECT_EQ(bulk, raw) << id << " (renderReals) " << text;
    }

    // Single descriptors also through the one-field functions.
    if (v["group"] == "single") {
      const Item& item = layout.items().at(0);
      std::string field;
      switch (item.kind) {
        case Item::Kind::Int:
          sw::rec::putInt(field, item.width, values.at(0).i);
          break;
        case Item::Kind::Exp:
          sw::rec::putExp(field, item.width, item.digits, values.at(0).d);
          break;
        case Item::Kind::Gen:
          sw::rec::putGen(field, item.width, item.digits, values.at(0).d);
          break;
        default:
          ADD_FAILURE() << id << ": not a single value descriptor";
      }
      EXPECT_EQ(field + "\n", raw) << id << " (single field) " << text;
    }
  }
}

TEST(WriteVectors, EveryFreeFormWriteMatches) {
  int count = 0;
  for (const Json& v : sw::test::readJsonLines("format_vectors/listdirected.jsonl")) {
    if (v["kind"] != "write") continue;
    ++count;
    std::vector<Value> items;
    for (const Json& x : v["items"]) items.push_back(valueOf(x));
    std::string out;
    sw::rec::renderList(out, items);
    EXPECT_EQ(out, v["raw"].get<std::string>()) << v["id"].get<std::string>();
  }
  EXPECT_EQ(count, 106);
}

}  // namespace

// Layout compilation: items, repeat counts, separators and malformed layouts.

#include "records/layout.hpp"

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <string>

#include "support/json.hpp"

namespace {

using sw::rec::Item;
using sw::rec::Layout;

TEST(Layout, EveryLayoutOfTheVectorsCompiles) {
  std::set<std::string> seen;
  for (const auto& v : sw::test::readJsonLines("format_vectors/write_vectors.jsonl"))
    seen.insert(v["layout"].get<std::string>());
  EXPECT_EQ(seen.size(), 106u);
  for (const auto& text : seen) EXPECT_NO_THROW(Layout{text}) << text;
}

TEST(Layout, ExpandsRepeatCountsAndKeepsItemsInOrder) {
  const Layout l(
      "(/1x,'receiver i =',i5,3x,'irx & iry = ',2i5,/,15x, 'rx(i) & ry(i) = ', 2g15.8, '  m')");
  const auto& it = l.items();
  ASSERT_EQ(it.size(), 14u);
  EXPECT_EQ(it[0].kind, Item::Kind::Slash);
  EXPECT_EQ(it[1].kind, Item::Kind::Skip);
  EXPECT_EQ(it[1].width, 1);
  EXPECT_EQ(it[2].text, "receiver i =");
  EXPECT_EQ(it[3].kind, Item::Kind::Int);
  EXPECT_EQ(it[3].width, 5);
  EXPECT_EQ(it[6].kind, Item::Kind::Int);
  EXPECT_EQ(it[7].kind, Item::Kind::Int);
  EXPECT_EQ(it[8].kind, Item::Kind::Slash);
  EXPECT_EQ(it[9].width, 15);
  EXPECT_EQ(it[11].kind, Item::Kind::Gen);
  EXPECT_EQ(it[11].width, 15);
  EXPECT_EQ(it[11].digits, 8);
  EXPECT_EQ(it[12].kind, Item::Kind::Gen);
  EXPECT_EQ(it[13].text, "  m");
  EXPECT_EQ(l.valueCount(), 5);
}

TEST(Layout, SlashesNeedNoCommas) {
  const Layout l("('a'//'b')");
  ASSERT_EQ(l.items().size(), 4u);
  EXPECT_EQ(l.items()[1].kind, Item::Kind::Slash);
  EXPECT_EQ(l.items()[2].kind, Item::Kind::Slash);
  EXPECT_EQ(l.items()[3].text, "b");
  EXPECT_EQ(Layout("(i5/)").items().size(), 2u);
  EXPECT_EQ(Layout("(' f1  = ',e20.8,'   khz ',//,  ' f2')").items().size(), 6u);
}

TEST(Layout, DoubledApostropheIsOneApostrophe) {
  const Layout l("('it''s',i3)");
  EXPECT_EQ(l.items()[0].text, "it's");
  EXPECT_EQ(l.valueCount(), 1);
}

TEST(Layout, BlanksOutsideLiteralsAreIgnored) {
  const Layout l(" ( 2 e 20 . 8 , ' a b ' , i 5 ) ");
  ASSERT_EQ(l.items().size(), 4u);
  EXPECT_EQ(l.items()[0].kind, Item::Kind::Exp);
  EXPECT_EQ(l.items()[0].width, 20);
  EXPECT_EQ(l.items()[0].digits, 8);
  EXPECT_EQ(l.items()[2].text, " a b ");
  EXPECT_EQ(l.items()[3].width, 5);
}

/// The message of the std::invalid_argument raised for `text`.
std::string errorOf(const char* text) {
  try {
    Layout l(text);
  } catch (const std::invalid_argument& e) {
    return e.what();
  }
  return "no error";
}

TEST(Layout, MalformedLayoutsNameTheOffset) {
  EXPECT_EQ(errorOf("(i5,,i5)"), "layout \"(i5,,i5)\", offset 4: expected an item");
  EXPECT_EQ(errorOf("i5"), "layout \"i5\", offset 0: expected '('");
  EXPECT_EQ(errorOf("(i5"), "layout \"(i5\", offset 3: missing ')'");
  EXPECT_EQ(errorOf("(e20)"), "layout \"(e20)\", offset 4: expected '.' and the number of digits");
  EXPECT_EQ(errorOf("(i5 e20.8)"), "layout \"(i5 e20.8)\", offset 4: expected ',' or ')'");
  EXPECT_EQ(errorOf("('abc)"), "layout \"('abc)\", offset 1: unterminated literal");
  EXPECT_EQ(errorOf("(q5)"), "layout \"(q5)\", offset 1: expected an item");
  EXPECT_EQ(errorOf("(i0)"), "layout \"(i0)\", offset 3: zero field width");
  EXPECT_EQ(errorOf("(i5,)"), "layout \"(i5,)\", offset 4: expected an item after ','");
  EXPECT_EQ(errorOf("(2(i5))"), "layout \"(2(i5))\", offset 2: nested groups are not supported");
  EXPECT_EQ(errorOf("(i5) x"), "layout \"(i5) x\", offset 5: unexpected text after ')'");
}

}  // namespace

#include "records/layout.hpp"

#include <cctype>
#include <stdexcept>

namespace sw::rec {

namespace {

/// Widths, digits and repeat counts above this are surely typing errors.
constexpr int kMaxNumber = 100000;

/// Reads a layout text left to right, skipping blanks outside literals.
class Parser {
 public:
  explicit Parser(std::string_view src) : src_(src) {}

  void parse(std::vector<Item>& items, int& valueCount) {
    skipBlanks();
    if (peek() != '(') fail("expected '('");
    ++pos_;
    bool needItem = false;  // after a comma another item must follow
    bool first = true;
    while (true) {
      skipBlanks();
      const char c = peek();
      if (c == '\0') fail("missing ')'");
      if (c == ')') {
        if (needItem) fail("expected an item after ','");
        ++pos_;
        break;
      }
      if (!first && !needItem && c != '/' && !lastWasSlash_) fail("expected ',' or ')'");
      parseItem(items, valueCount);
      first = false;
      skipBlanks();
      needItem = false;
      if (peek() == ',') {
        ++pos_;
        needItem = true;
      }
    }
    skipBlanks();
    if (pos_ != src_.size()) fail("unexpected text after ')'");
  }

 private:
  char peek() const { return pos_ < src_.size() ? src_[pos_] : '\0'; }

  void skipBlanks() {
    while (pos_ < src_.size() && (src_[pos_] == ' ' || src_[pos_] == '\t')) ++pos_;
  }

  [[noreturn]] void fail(const char* what) const { failAt(pos_, what); }

  [[noreturn]] void failAt(std::size_t at, const char* what) const {
    throw std::invalid_argument("layout \"" + std::string(src_) + "\", offset " +
                                std::to_string(at) + ": " + what);
  }

  /// An unsigned number; blanks between its digits are ignored like everywhere else.
  int number() {
    const std::size_t start = pos_;
    long value = 0;
    while (true) {
      skipBlanks();
      const char c = peek();
      if (!std::isdigit(static_cast<unsigned char>(c))) break;
      value = value * 10 + (c - '0');
      if (value > kMaxNumber) failAt(start, "number too large");
      ++pos_;
    }
    return static_cast<int>(value);
  }

  bool atDigit() {
    skipBlanks();
    return std::isdigit(static_cast<unsigned char>(peek())) != 0;
  }

  void parseItem(std::vector<Item>& items, int& valueCount) {
    const std::size_t start = pos_;
    int count = 1;
    bool counted = false;
    if (atDigit()) {
      count = number();
      counted = true;
    }
    skipBlanks();
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(peek())));
    lastWasSlash_ = false;
    if (c == '/') {
      ++pos_;
      if (counted && count == 0) failAt(start, "zero repeat count");
      for (int k = 0; k < count; ++k) items.push_back(Item{Item::Kind::Slash, 0, 0, {}});
      lastWasSlash_ = true;
      return;
    }
    if (c == 'x') {
      ++pos_;
      if (counted && count == 0) failAt(start, "zero width for x");
      items.push_back(Item{Item::Kind::Skip, count, 0, {}});
      return;
    }
    if (c == '\'' || c == '"') {
      if (counted) failAt(start, "repeat count before a literal");
      items.push_back(Item{Item::Kind::Text, 0, 0, literal(c)});
      return;
    }
    if (c == '(') failAt(pos_, "nested groups are not supported");
    Item::Kind kind;
    if (c == 'i') {
      kind = Item::Kind::Int;
    } else if (c == 'e') {
      kind = Item::Kind::Exp;
    } else if (c == 'g') {
      kind = Item::Kind::Gen;
    } else {
      failAt(pos_, "expected an item");
    }
    if (counted && count == 0) failAt(start, "zero repeat count");
    ++pos_;
    if (!atDigit()) fail("expected a field width");
    Item item{kind, number(), 0, {}};
    if (item.width == 0) fail("zero field width");
    if (kind != Item::Kind::Int) {
      skipBlanks();
      if (peek() != '.') fail("expected '.' and the number of digits");
      ++pos_;
      if (!atDigit()) fail("expected the number of digits");
      item.digits = number();
      if (item.digits == 0) fail("zero digits");
    }
    for (int k = 0; k < count; ++k) items.push_back(item);
    valueCount += count;
  }

  /// A literal between `quote` characters; a doubled quote stands for one.
  std::string literal(char quote) {
    const std::size_t start = pos_;
    ++pos_;
    std::string text;
    while (true) {
      if (pos_ >= src_.size()) failAt(start, "unterminated literal");
      const char c = src_[pos_++];
      if (c == quote) {
        if (pos_ < src_.size() && src_[pos_] == quote) {
          text += quote;
          ++pos_;
          continue;
        }
        return text;
      }
      text += c;
    }
  }

  std::string_view src_;
  std::size_t pos_ = 0;
  bool lastWasSlash_ = false;
};

}  // namespace

Layout::Layout(std::string_view source) : source_(source) {
  Parser(source_).parse(items_, valueCount_);
}

}  // namespace sw::rec

#pragma once
/// Record layouts in descriptor notation, e.g. "(/1x,' mesh size h= ',e20.8,' m')",
/// compiled once into a flat list of items.

#include <string>
#include <string_view>
#include <vector>

namespace sw::rec {

/// One item of a compiled layout.  Repeat counts are expanded (2i5 becomes i5, i5).
struct Item {
  enum class Kind : unsigned char {
    Text,   ///< 'literal': `text`
    Skip,   ///< nx: `width` blanks
    Slash,  ///< /: end of record
    Int,    ///< iw
    Exp,    ///< ew.d
    Gen,    ///< gw.d
  };
  Kind kind = Kind::Text;
  int width = 0;
  int digits = 0;
  std::string text;
};

/// A layout compiled from its descriptor text.  Blanks outside apostrophes carry no
/// meaning; '' inside a literal is one apostrophe.  Construction throws
/// std::invalid_argument naming the offset of a malformed item.
class Layout {
 public:
  explicit Layout(std::string_view source);

  const std::vector<Item>& items() const { return items_; }
  int valueCount() const { return valueCount_; }
  const std::string& source() const { return source_; }

 private:
  std::string source_;
  std::vector<Item> items_;
  int valueCount_ = 0;
};

}  // namespace sw::rec

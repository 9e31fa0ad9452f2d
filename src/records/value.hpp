#pragma once
/// The values of one write operation.

#include <string_view>

namespace sw::rec {

/// One value of a write list: an integer, a double or (for free-form writes) a text.
struct Value {
  enum class Kind : unsigned char { Int, Real, Text };
  Kind kind;
  int i = 0;
  double d = 0.0;
  std::string_view s;

  Value(int v) : kind(Kind::Int), i(v) {}
  Value(double v) : kind(Kind::Real), d(v) {}
  Value(std::string_view v) : kind(Kind::Text), s(v) {}
  Value(const char* v) : kind(Kind::Text), s(v) {}
};

}  // namespace sw::rec

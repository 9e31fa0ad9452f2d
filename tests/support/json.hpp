#pragma once
/// A small JSON reader for the test data files (no third-party library).

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sw::test {

/// One JSON value.  Numbers keep their source text so integers and doubles both stay exact.
class Json {
 public:
  enum class Type { Null, Bool, Number, String, Array, Object };

  /// Parses one JSON text; throws std::runtime_error naming the offset on malformed input.
  static Json parse(std::string_view text);

  Type type() const { return type_; }
  bool isNull() const { return type_ == Type::Null; }

  /// Member `key` of an object; throws when missing.
  const Json& operator[](std::string_view key) const;
  /// Member `key` of an object, or nullptr.
  const Json* find(std::string_view key) const;
  /// Element `i` of an array.
  const Json& operator[](std::size_t i) const;
  std::size_t size() const;
  const std::vector<Json>& items() const;

  const std::string& str() const;
  bool boolean() const;
  long long integer() const;
  double number() const;

 private:
  friend class JsonParser;
  Type type_ = Type::Null;
  bool bool_ = false;
  std::string text_;  // a string's value or a number's source text
  std::vector<Json> array_;
  std::vector<std::pair<std::string, Json>> object_;
};

/// All lines of a JSON-lines file, one value each (blank lines skipped).
std::vector<Json> readJsonLines(const std::string& path);

/// Absolute path of a file under tests/data.
std::string testDataPath(std::string_view relative);

}  // namespace sw::test

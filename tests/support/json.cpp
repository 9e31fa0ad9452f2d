#include "support/json.hpp"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace sw::test {

/// Recursive-descent parser over one JSON text.
class JsonParser {
 public:
  explicit JsonParser(std::string_view text) : text_(text) {}

  Json document() {
    Json v = value();
    blanks();
    if (pos_ != text_.size()) fail("trailing characters");
    return v;
  }

 private:
  [[noreturn]] void fail(const char* what) const {
    throw std::runtime_error("JSON offset " + std::to_string(pos_) + ": " + what);
  }

  void blanks() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                   text_[pos_] == '\n' || text_[pos_] == '\r')) {
      ++pos_;
    }
  }

  char peek() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }

  void expect(char c) {
    if (peek() != c) fail("unexpected character");
    ++pos_;
  }

  void word(std::string_view w) {
    if (text_.substr(pos_, w.size()) != w) fail("unexpected word");
    pos_ += w.size();
  }

  Json value() {
    blanks();
    Json v;
    const char c = peek();
    if (c == '{') {
      v.type_ = Json::Type::Object;
      ++pos_;
      blanks();
      if (peek() == '}') {
        ++pos_;
        return v;
      }
      while (true) {
        blanks();
        std::string key = string();
        blanks();
        expect(':');
        v.object_.emplace_back(std::move(key), value());
        blanks();
        if (peek() == ',') {
          ++pos_;
          continue;
        }
        expect('}');
        return v;
      }
    }
    if (c == '[') {
      v.type_ = Json::Type::Array;
      ++pos_;
      blanks();
      if (peek() == ']') {
        ++pos_;
        return v;
      }
      while (true) {
        v.array_.push_back(value());
        blanks();
        if (peek() == ',') {
          ++pos_;
          continue;
        }
        expect(']');
        return v;
      }
    }
    if (c == '"') {
      v.type_ = Json::Type::String;
      v.text_ = string();
      return v;
    }
    if (c == 't') {
      word("true");
      v.type_ = Json::Type::Bool;
      v.bool_ = true;
      return v;
    }
    if (c == 'f') {
      word("false");
      v.type_ = Json::Type::Bool;
      return v;
    }
    if (c == 'n') {
      word("null");
      return v;
    }
    if (c == '-' || (c >= '0' && c <= '9')) {
      const std::size_t start = pos_;
      while (pos_ < text_.size() &&
             std::string_view("+-0123456789.eE").find(text_[pos_]) != std::string_view::npos) {
        ++pos_;
      }
      v.type_ = Json::Type::Number;
      v.text_ = std::string(text_.substr(start, pos_ - start));
      return v;
    }
    fail("expected a value");
  }

  std::string string() {
    expect('"');
    std::string out;
    while (true) {
      if (pos_ >= text_.size()) fail("unterminated string");
      const char c = text_[pos_++];
      if (c == '"') return out;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (pos_ >= text_.size()) fail("unterminated escape");
      const char e = text_[pos_++];
      switch (e) {
        case '"':
          out += '"';
          break;
        case '\\':
          out += '\\';
          break;
        case '/':
          out += '/';
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'u': {
          if (pos_ + 4 > text_.size()) fail("short \\u escape");
          const unsigned long code =
              std::strtoul(std::string(text_.substr(pos_, 4)).c_str(), nullptr, 16);
          pos_ += 4;
          if (code > 0x7f) fail("non-ASCII \\u escape");
          out += static_cast<char>(code);
          break;
        }
        default:
          fail("unknown escape");
      }
    }
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

Json Json::parse(std::string_view text) { return JsonParser(text).document(); }

const Json* Json::find(std::string_view key) const {
  if (type_ != Type::Object) throw std::runtime_error("JSON: not an object");
  for (const auto& [k, v] : object_) {
    if (k == key) return &v;
  }
  return nullptr;
}

const Json& Json::operator[](std::string_view key) const {
  const Json* v = find(key);
  if (v == nullptr) throw std::runtime_error("JSON: no member " + std::string(key));
  return *v;
}

const Json& Json::operator[](std::size_t i) const { return items().at(i); }

std::size_t Json::size() const { return items().size(); }

const std::vector<Json>& Json::items() const {
  if (type_ != Type::Array) throw std::runtime_error("JSON: not an array");
  return array_;
}

const std::string& Json::str() const {
  if (type_ != Type::String) throw std::runtime_error("JSON: not a string");
  return text_;
}

bool Json::boolean() const {
  if (type_ != Type::Bool) throw std::runtime_error("JSON: not a boolean");
  return bool_;
}

long long Json::integer() const {
  if (type_ != Type::Number) throw std::runtime_error("JSON: not a number");
  std::size_t used = 0;
  const long long v = std::stoll(text_, &used);
  if (used != text_.size()) throw std::runtime_error("JSON: not an integer: " + text_);
  return v;
}

double Json::number() const {
  if (type_ != Type::Number) throw std::runtime_error("JSON: not a number");
  return std::strtod(text_.c_str(), nullptr);
}

std::vector<Json> readJsonLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path);
  std::vector<Json> out;
  std::string line;
  while (std::getline(in, line)) {
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    out.push_back(Json::parse(line));
  }
  return out;
}

std::string testDataPath(std::string_view relative) {
  return std::string(STRIPWAVE_TEST_DATA) + "/" + std::string(relative);
}

}  // namespace sw::test

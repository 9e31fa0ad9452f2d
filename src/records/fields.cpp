#include "records/fields.hpp"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace sw::rec {

namespace {

/// Exponents are accumulated up to this bound; anything beyond is out of range anyway.
constexpr long kExponentCap = 1000000;
/// Largest exponent an ew.d field may hold after the implied-point adjustment.
constexpr long kFieldExponentLimit = 10000;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool isExponentLetter(char c) {
  const char l = lower(c);
  return l == 'e' || l == 'd' || l == 'q';
}

bool startsInfNan(char c) {
  const char l = lower(c);
  return l == 'i' || l == 'n';
}

/// "inf", "infinity", "nan" or "nan(" letters and digits ")" in any case.
bool infNan(std::string_view text, bool negative, double& value) {
  std::string t;
  for (char c : text) t += lower(c);
  if (t == "inf" || t == "infinity") {
    value = negative ? -std::numeric_limits<double>::infinity()
                     : std::numeric_limits<double>::infinity();
    return true;
  }
  bool nan = t == "nan";
  if (!nan && t.size() >= 5 && t.compare(0, 4, "nan(") == 0 && t.back() == ')') {
    nan = true;
    for (std::size_t k = 4; k + 1 < t.size(); ++k) {
      const char c = t[k];
      if (!isDigit(c) && !(c >= 'a' && c <= 'z')) nan = false;
    }
  }
  if (!nan) return false;
  value = negative ? -std::numeric_limits<double>::quiet_NaN()
                   : std::numeric_limits<double>::quiet_NaN();
  return true;
}

/// The correctly rounded double nearest to ±0.<digits> scaled so that `digits` is an
/// integer times 10^exp10.  Overflow gives ±Inf and underflow ±0, as strtod does.
double decimalToDouble(bool negative, std::string_view digits, long exp10) {
  std::string text;
  text.reserve(digits.size() + 16);
  if (negative) text += '-';
  if (digits.empty()) {
    text += '0';
  } else {
    text.append(digits);
  }
  text += 'e';
  text += std::to_string(exp10);
  double value = 0.0;
  const auto res = std::from_chars(text.data(), text.data() + text.size(), value);
  if (res.ec == std::errc::result_out_of_range) {
    // Decide between overflow and underflow from the decimal exponent of the first
    // significant digit.
    std::size_t first = 0;
    while (first < digits.size() && digits[first] == '0') ++first;
    const long magnitude = static_cast<long>(digits.size() - first) + exp10;
    value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    if (negative) value = -value;
  }
  return value;
}

/// Adds one digit to a bounded exponent.
void addExponentDigit(long& exponent, char c) {
  exponent = exponent * 10 + (c - '0');
  if (exponent > kExponentCap) exponent = kExponentCap;
}

/// Digits of a free-form or field integer; false when out of the int32 range.
bool accumulate(long long& value, char c, bool negative) {
  value = value * 10 + (c - '0');
  const long long limit = negative ? 2147483648LL : 2147483647LL;
  return value <= limit;
}

}  // namespace

FieldStatus convertIntField(std::string_view field, int& value) {
  std::size_t i = 0;
  const std::size_t n = field.size();
  while (i < n && field[i] == ' ') ++i;
  if (i == n) {
    value = 0;
    return FieldStatus::Ok;
  }
  bool negative = false;
  if (field[i] == '-' || field[i] == '+') {
    negative = field[i] == '-';
    if (++i == n) return FieldStatus::Bad;
  }
  long long v = 0;
  for (; i < n; ++i) {
    const char c = field[i];
    if (c == ' ') continue;
    if (!isDigit(c)) return FieldStatus::Bad;
    if (!accumulate(v, c, negative)) return FieldStatus::Overflow;
  }
  value = static_cast<int>(negative ? -v : v);
  return FieldStatus::Ok;
}

FieldStatus convertRealField(std::string_view field, int digits, double& value) {
  std::size_t i = 0;
  const std::size_t n = field.size();
  auto skipBlanks = [&] {
    while (i < n && field[i] == ' ') ++i;
  };
  skipBlanks();
  if (i == n) {
    value = 0.0;
    return FieldStatus::Ok;
  }
  bool negative = false;
  if (field[i] == '-' || field[i] == '+') {
    negative = field[i] == '-';
    ++i;
  }
  skipBlanks();
  if (i == n) {
    value = 0.0;  // a lone sign reads as an unsigned zero
    return FieldStatus::Ok;
  }
  if (n - i >= 3 && startsInfNan(field[i])) {
    std::string_view rest = field.substr(i);
    while (!rest.empty() && rest.back() == ' ') rest.remove_suffix(1);
    return infNan(rest, negative, value) ? FieldStatus::Ok : FieldStatus::Bad;
  }

  std::string mantissa;  // all digits, the point implied by `fraction`
  long fraction = 0;     // digits after the point
  bool seenPoint = false;
  bool hasExponent = false;
  for (; i < n; ++i) {
    const char c = field[i];
    if (c == ' ') continue;  // blanks inside the field carry no meaning
    if (isDigit(c)) {
      mantissa += c;
      if (seenPoint) ++fraction;
    } else if (c == '.') {
      if (seenPoint) return FieldStatus::Bad;
      seenPoint = true;
    } else if (c == '+' || c == '-') {
      hasExponent = true;  // an exponent without its letter
      break;
    } else if (isExponentLetter(c)) {
      hasExponent = true;
      ++i;
      break;
    } else {
      return FieldStatus::Bad;
    }
  }

  long exponent = 0;
  if (hasExponent) {
    skipBlanks();
    if (i == n) return FieldStatus::Bad;
    bool expNegative = false;
    if (field[i] == '-' || field[i] == '+') {
      expNegative = field[i] == '-';
      ++i;
    }
    skipBlanks();
    if (i == n || !isDigit(field[i])) return FieldStatus::Bad;
    for (; i < n; ++i) {
      const char c = field[i];
      if (c == ' ') continue;
      if (!isDigit(c)) return FieldStatus::Bad;
      addExponentDigit(exponent, c);
    }
    if (expNegative) exponent = -exponent;
  }
  if (!seenPoint) exponent -= digits;  // the implied decimal point
  if (exponent >= kFieldExponentLimit || exponent <= -kFieldExponentLimit) return FieldStatus::Bad;
  value = decimalToDouble(negative, mantissa, exponent - fraction);
  return FieldStatus::Ok;
}

FieldStatus convertListInt(std::string_view token, int& value) {
  std::size_t i = 0;
  const std::size_t n = token.size();
  bool negative = false;
  if (i < n && (token[i] == '-' || token[i] == '+')) {
    negative = token[i] == '-';
    ++i;
  }
  if (i == n) return FieldStatus::Bad;
  long long v = 0;
  bool overflow = false;
  for (; i < n; ++i) {
    if (!isDigit(token[i])) return FieldStatus::Bad;
    if (!overflow && !accumulate(v, token[i], negative)) overflow = true;
  }
  if (overflow) return FieldStatus::Overflow;
  value = static_cast<int>(negative ? -v : v);
  return FieldStatus::Ok;
}

FieldStatus convertListReal(std::string_view token, double& value) {
  std::size_t i = 0;
  const std::size_t n = token.size();
  bool negative = false;
  if (i < n && (token[i] == '-' || token[i] == '+')) {
    negative = token[i] == '-';
    ++i;
  }
  if (i == n) return FieldStatus::Bad;
  if (startsInfNan(token[i])) {
    return infNan(token.substr(i), negative, value) ? FieldStatus::Ok : FieldStatus::Bad;
  }
  std::string mantissa;
  long fraction = 0;
  bool seenPoint = false;
  for (; i < n && isDigit(token[i]); ++i) mantissa += token[i];
  if (i < n && token[i] == '.') {
    seenPoint = true;
    for (++i; i < n && isDigit(token[i]); ++i) {
      mantissa += token[i];
      ++fraction;
    }
  }
  if (mantissa.empty() && !seenPoint) return FieldStatus::Bad;
  long exponent = 0;
  if (i < n) {
    if (isExponentLetter(token[i]))
      ++i;
    else if (token[i] != '+' && token[i] != '-')
      return FieldStatus::Bad;
    bool expNegative = false;
    if (i < n && (token[i] == '+' || token[i] == '-')) {
      expNegative = token[i] == '-';
      ++i;
    }
    if (i == n) return FieldStatus::Bad;
    for (; i < n; ++i) {
      if (!isDigit(token[i])) return FieldStatus::Bad;
      addExponentDigit(exponent, token[i]);
    }
    if (expNegative) exponent = -exponent;
  }
  if (mantissa.empty()) {
    // A point without digits passes the syntax but converts to nothing.
    value = 0.0;
    return FieldStatus::NoDigits;
  }
  value = decimalToDouble(negative, mantissa, exponent - fraction);
  return FieldStatus::Ok;
}

}  // namespace sw::rec

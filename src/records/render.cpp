#include "records/render.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <vector>

namespace sw::rec {

namespace {

/// Free-form reals: 17 significant digits in 25 columns, three exponent digits.
constexpr int kListRealWidth = 25;
constexpr int kListRealDigits = 17;
/// Free-form integers: right-justified in 11 columns, enough for any int32.
constexpr int kListIntWidth = 11;

/// Character buffers live on the stack unless a layout asks for an absurd precision.
constexpr std::size_t kStackChars = 400;

/// Precisions up to this have their G thresholds computed once.
constexpr int kTableDigits = 40;

void putStars(std::string& out, int width) { out.append(static_cast<std::size_t>(width), '*'); }

/// `text` right-justified in `width` columns, or asterisks when it does not fit.
void putRight(std::string& out, int width, std::string_view text) {
  const auto w = static_cast<std::size_t>(width);
  if (text.size() > w) return putStars(out, width);
  out.append(w - text.size(), ' ');
  out.append(text);
}

/// NaN (never signed) and the infinities, right-justified in the whole field.
void putInfNan(std::string& out, int width, double x) {
  std::string_view text;
  if (std::isnan(x)) {
    text = width >= 3 ? "NaN" : "";
  } else if (std::signbit(x)) {
    text = width >= 9 ? "-Infinity" : width >= 4 ? "-Inf" : "";
  } else {
    text = width >= 8 ? "Infinity" : width >= 3 ? "Inf" : "";
  }
  if (text.empty()) return putStars(out, width);
  putRight(out, width, text);
}

/// 10^k built by repeated multiplication: the G thresholds are defined on these
/// products, so they must not be replaced by exact powers.
double powerOfTen(int k) {
  double r = 1.0;
  for (int i = 0; i < (k >= 0 ? k : -k); ++i) r *= 10;
  return k >= 0 ? r : 1.0 / r;
}

/// The G thresholds for d significant digits, all in double precision:
/// r = 1 - 0.5/10^d, exponential form below 0.1 r or within 0.5 of 10^d, and
/// bound[k] = 10^(k-1) r, k = 0 .. d+1, for the number of decimals of the fixed form.
struct GenThresholds {
  double expD = 0;
  double lower = 0;
  std::vector<double> bound;

  explicit GenThresholds(int d) : expD(powerOfTen(d)) {
    const double rSc = 1.0 - 0.5 / expD;
    lower = 0.1 * rSc;
    for (int k = 0; k <= d + 1; ++k) bound.push_back(powerOfTen(k - 1) * rSc);
  }
};

const GenThresholds& thresholdsFor(int d) {
  static const std::vector<GenThresholds> table = [] {
    std::vector<GenThresholds> t;
    for (int k = 0; k <= kTableDigits; ++k) t.emplace_back(k);
    return t;
  }();
  return table[static_cast<std::size_t>(d)];
}

/// Chooses between fixed and exponential form for G editing of the magnitude `m`
/// with `d` significant digits.  Returns the number of decimals of the fixed form,
/// or -1 for exponential form.  `m` is compared with the thresholds as it is, not
/// rounded to d digits first, which is what the reference output shows near
/// decimal boundaries.
int genDecimals(double m, const GenThresholds& g, int d) {
  if (m > 0.0 && (m < g.lower || 0.5 >= g.expD - m)) return -1;
  if (m == 0.0) return d - 1;
  int low = 0, high = d + 1, lbound = 0, ubound = d + 1, mid = 0;
  while (low <= high) {
    mid = (low + high) / 2;
    const double temp = g.bound[static_cast<std::size_t>(mid)];
    if (m < temp) {
      ubound = mid;
      if (ubound == lbound + 1) break;
      high = mid - 1;
    } else if (m > temp) {
      lbound = mid;
      if (ubound == lbound + 1) {
        ++mid;
        break;
      }
      low = mid + 1;
    } else {
      ++mid;
      break;
    }
  }
  return d + 1 - mid;
}

int genDecimals(double m, int d) {
  if (d <= kTableDigits) return genDecimals(m, thresholdsFor(d), d);
  return genDecimals(m, GenThresholds(d), d);
}

/// A scratch character buffer, on the stack for every precision the system uses.
class Scratch {
 public:
  explicit Scratch(std::size_t need) {
    if (need > kStackChars) {
      heap_ = std::make_unique<char[]>(need);
      data_ = heap_.get();
      size_ = need;
    }
  }
  char* begin() { return data_; }
  char* end() { return data_ + size_; }

 private:
  char stack_[kStackChars];
  std::unique_ptr<char[]> heap_;
  char* data_ = stack_;
  std::size_t size_ = kStackChars;
};

/// Writes the correctly rounded significant digits of m > 0 (`nd` of them) to
/// digits[1 .. nd] and returns the decimal exponent of the form d.ddd.  The buffer
/// from `digits` to `end` needs room for nd + 8 characters.
int scientific(double m, int nd, char* digits, char* end) {
  // to_chars gives d.ddde+XX (de+XX for one digit).
  const auto res = std::to_chars(digits, end, m, std::chars_format::scientific, nd - 1);
  const char* e = digits + (nd > 1 ? nd + 1 : 1);
  int exponent = 0;
  std::from_chars(e + (e[1] == '+' ? 2 : 1), res.ptr, exponent);
  digits[1] = digits[0];  // the first digit moves over the point
  return exponent;
}

/// A sign and the fixed-point text of m with `decimals` decimals (the point kept even
/// with no decimals), right-justified in `width` columns.
void putFixed(std::string& out, int width, int decimals, bool negative, double m) {
  Scratch buf(static_cast<std::size_t>(decimals) + 340);
  char* text = buf.begin() + 1;
  auto res = std::to_chars(text, buf.end() - 1, m, std::chars_format::fixed, decimals);
  if (decimals == 0) *res.ptr++ = '.';
  std::size_t len = static_cast<std::size_t>(res.ptr - text);
  const auto w = static_cast<std::size_t>(width);
  if (len + (negative ? 1 : 0) > w && len > 1 && text[0] == '0' && text[1] == '.') {
    ++text;  // the leading zero is optional
    --len;
  }
  if (negative) {
    *--text = '-';
    ++len;
  }
  putRight(out, width, std::string_view(text, len));
}

/// Puts the exponent digits of `e` (at most three) into `p`, right to left.
void putExponentDigits(char* p, int count, int e) {
  for (int k = count - 1; k >= 0; --k) {
    p[k] = static_cast<char>('0' + e % 10);
    e /= 10;
  }
}

/// Free-form real: G with 17 digits, fixed form in 20 columns and 5 blanks, or
/// d.dddE+ddd in 25 columns.
void putListReal(std::string& out, double x) {
  if (!std::isfinite(x)) return putInfNan(out, kListRealWidth, x);
  const bool negative = std::signbit(x);
  const double m = std::fabs(x);
  const int decimals = genDecimals(m, kListRealDigits);
  if (decimals >= 0) {
    putFixed(out, kListRealWidth - 5, decimals, negative, m);
    out.append(5, ' ');
    return;
  }
  char text[64];
  char* p = text;
  if (negative) *p++ = '-';
  const auto res =
      std::to_chars(p, text + sizeof text, m, std::chars_format::scientific, kListRealDigits - 1);
  // d.ddde+XX becomes d.dddE+0XX: three exponent digits.
  char* e = p + kListRealDigits + 1;
  int exponent = 0;
  std::from_chars(e + (e[1] == '+' ? 2 : 1), res.ptr, exponent);
  e[0] = 'E';
  e[1] = exponent < 0 ? '-' : '+';
  putExponentDigits(e + 2, 3, std::abs(exponent));
  putRight(out, kListRealWidth, std::string_view(text, static_cast<std::size_t>(e + 5 - text)));
}

[[noreturn]] void mismatch(const Layout& layout, std::size_t index, const char* need) {
  throw std::invalid_argument("layout \"" + layout.source() + "\": value " +
                              std::to_string(index + 1) + " must be " + need);
}

/// The record loop shared by render and renderReals: `put(out, item, index)` writes value
/// `index` for the value item `item`.
template <class Put>
void renderItems(std::string& out, const Layout& layout, std::size_t count, Put put) {
  if (count > 0 && layout.valueCount() == 0) {
    throw std::invalid_argument("layout \"" + layout.source() + "\" has no value items");
  }
  const std::vector<Item>& items = layout.items();
  std::size_t next = 0;
  // Blanks of nx items are held back: they appear only when something follows in the record.
  std::size_t pending = 0;
  while (true) {
    for (const Item& item : items) {
      switch (item.kind) {
        case Item::Kind::Text:
          out.append(pending, ' ');
          pending = 0;
          out += item.text;
          break;
        case Item::Kind::Skip:
          pending += static_cast<std::size_t>(item.width);
          break;
        case Item::Kind::Slash:
          out += '\n';
          pending = 0;
          break;
        default:
          if (next == count) {
            out += '\n';
            return;
          }
          out.append(pending, ' ');
          pending = 0;
          put(out, item, next);
          ++next;
          break;
      }
    }
    out += '\n';
    pending = 0;
    if (next == count) return;
    // Values remain: the layout starts again from its first item on a new record.
  }
}

void putReal(std::string& out, const Item& item, double x) {
  if (item.kind == Item::Kind::Exp) {
    putExp(out, item.width, item.digits, x);
  } else {
    putGen(out, item.width, item.digits, x);
  }
}

}  // namespace

void putInt(std::string& out, int width, long long value) {
  char buf[24];
  const auto res = std::to_chars(buf, buf + sizeof buf, value);
  putRight(out, width, std::string_view(buf, static_cast<std::size_t>(res.ptr - buf)));
}

void putExp(std::string& out, int width, int digits, double value) {
  if (!std::isfinite(value)) return putInfNan(out, width, value);
  const bool negative = std::signbit(value);
  const double m = std::fabs(value);
  const auto nd = static_cast<std::size_t>(digits);
  // Assembled as [-]0.ddddE+XX, the sign and zero at the front put in last.
  Scratch buf(nd + 40);
  char* mant = buf.begin() + 3;
  int e = 0;  // exponent of the form 0.ddd
  if (m == 0.0) {
    std::fill(mant, mant + nd, '0');
  } else {
    e = scientific(m, digits, mant - 1, buf.end()) + 1;
  }
  char* exponent = mant + nd;
  const int ae = std::abs(e);
  if (ae <= 99) {
    exponent[0] = 'E';
    exponent[1] = e < 0 ? '-' : '+';
    putExponentDigits(exponent + 2, 2, ae);
  } else if (ae <= 999) {
    exponent[0] = e < 0 ? '-' : '+';
    putExponentDigits(exponent + 1, 3, ae);
  } else {
    return putStars(out, width);
  }
  char* text = mant - 1;
  *text = '.';
  const auto w = static_cast<std::size_t>(width);
  // The zero before the point is printed only when the field has room for it.
  if (static_cast<std::size_t>(exponent + 4 - text) + (negative ? 1 : 0) < w) *--text = '0';
  if (negative) *--text = '-';
  putRight(out, width, std::string_view(text, static_cast<std::size_t>(exponent + 4 - text)));
}

void putGen(std::string& out, int width, int digits, double value) {
  if (!std::isfinite(value)) return putInfNan(out, width, value);
  const double m = std::fabs(value);
  const int decimals = genDecimals(m, digits);
  if (decimals < 0) return putExp(out, width, digits, value);
  putFixed(out, width - 4, decimals, std::signbit(value), m);
  out.append(4, ' ');
}

void render(std::string& out, const Layout& layout, std::span<const Value> values) {
  renderItems(out, layout, values.size(), [&](std::string& o, const Item& item, std::size_t index) {
    const Value& v = values[index];
    if (item.kind == Item::Kind::Int) {
      if (v.kind != Value::Kind::Int) mismatch(layout, index, "an integer");
      putInt(o, item.width, v.i);
    } else {
      if (v.kind != Value::Kind::Real) mismatch(layout, index, "a double");
      putReal(o, item, v.d);
    }
  });
}

void renderReals(std::string& out, const Layout& layout, std::span<const double> values) {
  renderItems(out, layout, values.size(), [&](std::string& o, const Item& item, std::size_t index) {
    if (item.kind == Item::Kind::Int) mismatch(layout, index, "an integer");
    putReal(o, item, values[index]);
  });
}

void renderList(std::string& out, std::span<const Value> items) {
  bool first = true;
  bool afterNumber = false;
  for (const Value& v : items) {
    switch (v.kind) {
      case Value::Kind::Text:
        // The record's first column is blank; texts in a row are not separated.
        if (first || afterNumber) out += ' ';
        out.append(v.s);
        afterNumber = false;
        break;
      case Value::Kind::Int:
        out += ' ';
        putInt(out, kListIntWidth, v.i);
        afterNumber = true;
        break;
      case Value::Kind::Real:
        out += ' ';
        putListReal(out, v.d);
        afterNumber = true;
        break;
    }
    first = false;
  }
  out += '\n';
}

}  // namespace sw::rec

#include "records/in_file.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "records/fields.hpp"
#include "records/io_error.hpp"

namespace sw::rec {

namespace {

/// Blanks between free-form values; a tab or a stray carriage return counts as one.
bool isListBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

/// Characters that end a free-form value.
bool endsListValue(char c) { return isListBlank(c) || c == ',' || c == ';' || c == '/'; }

bool isListComma(char c) { return c == ',' || c == ';'; }

std::string quoted(std::string_view text) {
  std::string q = "\"";
  q.append(text);
  q += '"';
  return q;
}

std::string valueCount(std::size_t n) {
  return std::to_string(n) + (n == 1 ? " value" : " values");
}

}  // namespace

void InFile::open(std::string name) {
  name_ = std::move(name);
  records_.clear();
  next_ = 0;
  std::FILE* f = std::fopen(name_.c_str(), "rb");
  if (f == nullptr) throw IoError("cannot open " + name_ + ": " + std::strerror(errno));
  std::string data;
  char chunk[1 << 16];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) data.append(chunk, got);
  const bool failed = std::ferror(f) != 0;
  const int err = errno;
  std::fclose(f);
  if (failed) throw IoError("cannot read " + name_ + ": " + std::strerror(err));

  // Records end at '\n'; a '\r' just before it is dropped; a last line without a
  // newline is still a record.
  std::size_t start = 0;
  while (start < data.size()) {
    std::size_t end = data.find('\n', start);
    const bool terminated = end != std::string::npos;
    if (!terminated) end = data.size();
    std::size_t stop = end;
    if (terminated && stop > start && data[stop - 1] == '\r') --stop;
    records_.emplace_back(data, start, stop - start);
    start = end + 1;
  }
}

void InFile::openOrCreate(std::string name) {
  std::FILE* probe = std::fopen(name.c_str(), "rb");
  if (probe == nullptr && errno == ENOENT) {
    // "a" creates the file without emptying one that appeared meanwhile.
    std::FILE* f = std::fopen(name.c_str(), "a");
    if (f == nullptr) throw IoError("cannot create " + name + ": " + std::strerror(errno));
    std::fclose(f);
  } else if (probe != nullptr) {
    std::fclose(probe);
  }
  open(std::move(name));
}

void InFile::fail(int record, const std::string& what) const {
  throw IoError(name_ + ", record " + std::to_string(record) + ": " + what);
}

std::string_view InFile::takeRecord(const std::string& expected) {
  if (next_ >= static_cast<int>(records_.size())) fail(next_ + 1, "end of file while " + expected);
  return records_[static_cast<std::size_t>(next_++)];
}

void InFile::read(const Layout& layout, std::initializer_list<Target> targets) {
  read(layout, std::span<const Target>(targets.begin(), targets.size()));
}

void InFile::read(const Layout& layout, std::span<const Target> targets) {
  const std::vector<Item>& items = layout.items();
  for (const Item& item : items) {
    if (item.kind == Item::Kind::Text) {
      throw std::invalid_argument("layout \"" + layout.source() + "\": literals cannot be read");
    }
  }
  if (!targets.empty() && layout.valueCount() == 0) {
    throw std::invalid_argument("layout \"" + layout.source() + "\" has no value items");
  }
  const std::string expected =
      targets.empty() ? std::string("skipping a record")
                      : "reading " + valueCount(targets.size()) + " with " + layout.source();

  std::string_view record = takeRecord(expected);
  std::size_t pos = 0;
  std::size_t next = 0;
  while (true) {
    for (const Item& item : items) {
      switch (item.kind) {
        case Item::Kind::Skip:
          pos += static_cast<std::size_t>(item.width);
          break;
        case Item::Kind::Slash:
          record = takeRecord(expected);
          pos = 0;
          break;
        case Item::Kind::Text:
          break;
        default: {
          if (next == targets.size()) return;
          readField(record, pos, item, targets[next], layout);
          ++next;
          break;
        }
      }
    }
    if (next == targets.size()) return;
    // Targets remain: the layout is applied again to the next record.
    record = takeRecord(expected);
    pos = 0;
  }
}

void InFile::readField(std::string_view record, std::size_t& pos, const Item& item,
                       const Target& target, const Layout& layout) {
  const bool wantInt = item.kind == Item::Kind::Int;
  if (wantInt != (target.kind == Target::Kind::Int)) {
    throw std::invalid_argument("layout \"" + layout.source() + "\": item " +
                                (wantInt ? "iw needs an integer" : "ew.d needs a double") +
                                " target");
  }
  // The field is the next `width` columns; a short record supplies blanks, and a comma
  // ends the field early (the comma itself is consumed).
  const std::size_t width = static_cast<std::size_t>(item.width);
  const std::size_t start = pos;
  std::size_t length = 0;
  if (start < record.size()) length = std::min(width, record.size() - start);
  std::string_view field = record.substr(std::min(start, record.size()), length);
  std::size_t columns = width;
  const std::size_t comma = field.find(',');
  if (comma != std::string_view::npos) {
    field = field.substr(0, comma);
    columns = comma + 1;
    pos = start + comma + 1;
  } else {
    pos = start + width;
  }

  FieldStatus status;
  if (wantInt) {
    status = convertIntField(field, *static_cast<int*>(target.ptr));
  } else {
    status = convertRealField(field, item.digits, *static_cast<double*>(target.ptr));
  }
  if (status == FieldStatus::Ok) return;
  const std::string where = "in columns " + std::to_string(start + 1) + "-" +
                            std::to_string(start + columns) + ", found " + quoted(field);
  if (status == FieldStatus::Overflow) fail(next_, "integer out of range " + where);
  fail(next_, std::string(wantInt ? "expected an integer " : "expected a real number ") + where);
}

void InFile::readList(std::initializer_list<Target> targets) {
  readList(std::span<const Target>(targets.begin(), targets.size()));
}

void InFile::readList(std::span<const Target> targets) {
  const std::string expected = targets.empty()
                                   ? std::string("skipping a record")
                                   : "reading " + valueCount(targets.size()) + " free-form";
  std::string_view record = takeRecord(expected);
  std::size_t pos = 0;
  // At the start of a read, as after a comma, a further comma stands for a null value.
  bool afterComma = true;
  // A value given as r*value (or a null r*) still to be applied to the next targets.
  long repeatLeft = 0;
  std::string_view repeatValue;
  int repeatRecord = 0;

  for (std::size_t t = 0; t < targets.size(); ++t) {
    if (repeatLeft > 0) {
      --repeatLeft;
      if (!repeatValue.empty()) assignList(targets[t], t, repeatValue, repeatRecord);
      continue;
    }
    // Find the next value, crossing record ends, which count as blanks.
    bool null = false;
    while (true) {
      while (pos < record.size() && isListBlank(record[pos])) ++pos;
      if (pos == record.size()) {
        record = takeRecord(expected);
        pos = 0;
        continue;
      }
      const char c = record[pos];
      if (c == '/') return;  // ends the read; the remaining targets keep their values
      if (isListComma(c)) {
        ++pos;
        if (afterComma) {
          null = true;
          break;
        }
        afterComma = true;
        continue;
      }
      break;
    }
    if (null) continue;

    const std::size_t begin = pos;
    while (pos < record.size() && !endsListValue(record[pos])) ++pos;
    const std::string_view token = record.substr(begin, pos - begin);
    // Blanks, then at most one comma, separate this value from the next.
    afterComma = false;
    while (pos < record.size() && isListBlank(record[pos])) ++pos;
    if (pos < record.size() && isListComma(record[pos])) {
      ++pos;
      afterComma = true;
    }

    const std::size_t star = token.find('*');
    if (star != std::string_view::npos && star > 0 &&
        token.find_first_not_of("0123456789") == star) {
      long count = 0;
      for (std::size_t k = 0; k < star; ++k) {
        count = count * 10 + (token[k] - '0');
        if (count > 2147483647L) {
          fail(next_, "repeat count out of range for item " + std::to_string(t + 1) + ", found " +
                          quoted(token));
        }
      }
      if (count == 0) {
        fail(next_,
             "zero repeat count for item " + std::to_string(t + 1) + ", found " + quoted(token));
      }
      repeatValue = token.substr(star + 1);
      repeatRecord = next_;
      repeatLeft = count - 1;
      if (!repeatValue.empty()) assignList(targets[t], t, repeatValue, repeatRecord);
      continue;
    }
    assignList(targets[t], t, token, next_);
  }
}

void InFile::assignList(const Target& target, std::size_t index, std::string_view token,
                        int record) {
  FieldStatus status;
  if (target.kind == Target::Kind::Int) {
    status = convertListInt(token, *static_cast<int*>(target.ptr));
  } else {
    status = convertListReal(token, *static_cast<double*>(target.ptr));
  }
  if (status == FieldStatus::Ok) return;
  const std::string where = "for item " + std::to_string(index + 1) + ", found " + quoted(token);
  if (status == FieldStatus::Overflow) fail(record, "integer out of range " + where);
  fail(record, std::string(target.kind == Target::Kind::Int ? "expected an integer "
                                                            : "expected a real number ") +
                   where);
}

}  // namespace sw::rec

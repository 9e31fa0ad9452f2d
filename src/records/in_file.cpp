#include "records/in_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "records/fields.hpp"
#include "records/io_error.hpp"
#include "records/out_file.hpp"

namespace sw::rec {

namespace {

/// Blanks between free-form values; a tab or a stray carriage return counts as one.
bool isListBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

/// Characters that end a free-form value.
bool endsListValue(char c) { return isListBlank(c) || c == ',' || c == ';' || c == '/'; }

bool isListComma(char c) { return c == ',' || c == ';'; }

/// Text of a file in quotes for a message, every byte that is not printable ASCII (a
/// control byte such as a terminal escape, or a byte above 0x7e) written as \xNN, so
/// that a message never sends the file's bytes to a terminal.
std::string quoted(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string q = "\"";
  for (const char ch : text) {
    const auto b = static_cast<unsigned char>(ch);
    if (b >= 0x20 && b < 0x7f && b != '\\') {
      q += ch;
    } else {
      q += "\\x";
      q += kHex[b >> 4];
      q += kHex[b & 0xf];
    }
  }
  q += '"';
  return q;
}

/// Bytes asked of the file at a time.
constexpr std::size_t kReadSize = std::size_t{1} << 14;

std::string valueCount(std::size_t n) {
  return std::to_string(n) + (n == 1 ? " value" : " values");
}

}  // namespace

InFile::InFile(InFile&& other) noexcept { *this = std::move(other); }

InFile& InFile::operator=(InFile&& other) noexcept {
  if (this != &other) {
    close();
    name_ = std::move(other.name_);
    fd_ = std::exchange(other.fd_, -1);
    buffer_ = std::move(other.buffer_);
    pos_ = other.pos_;
    end_ = other.end_;
    atEnd_ = other.atEnd_;
    record_ = std::move(other.record_);
    bytesRead_ = other.bytesRead_;
    maxBytes_ = other.maxBytes_;
    bound_ = std::move(other.bound_);
    next_ = other.next_;
  }
  return *this;
}

InFile::~InFile() { close(); }

void InFile::close() noexcept {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void InFile::reset(std::string name) {
  close();
  name_ = std::move(name);
  pos_ = end_ = 0;
  atEnd_ = false;
  record_.clear();
  bytesRead_ = 0;
  maxBytes_ = UINT64_MAX;
  bound_.clear();
  next_ = 0;
}

void InFile::open(std::string name) {
  reset(std::move(name));
  // Without waiting: a FIFO opens at once and is refused below.
  fd_ = ::open(name_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd_ < 0) throw IoError("cannot open " + name_ + ": " + std::strerror(errno));
  struct stat st {};
  if (fstat(fd_, &st) != 0) {
    const int err = errno;
    close();
    throw IoError("cannot open " + name_ + ": " + std::strerror(err));
  }
  if (!S_ISREG(st.st_mode)) {
    close();
    throw IoError("cannot open " + name_ + ": " + fileKind(st.st_mode) +
                  " stands there, not a regular file");
  }
}

bool InFile::openOrCreate(std::string name) {
  bool created = false;
  struct stat st {};
  if (lstat(name.c_str(), &st) != 0 && errno == ENOENT) {
    // O_EXCL: never creates the target of a link, never empties a file that appeared
    // meanwhile.
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::close(fd);
      created = true;
    } else if (errno != EEXIST) {
      throw IoError("cannot create " + name + ": " + std::strerror(errno));
    }
  } else if (S_ISLNK(st.st_mode) && stat(name.c_str(), &st) != 0 && errno == ENOENT) {
    reset(std::move(name));  // a link to nothing reads as an empty file
    atEnd_ = true;
    return false;
  }
  open(std::move(name));
  return created;
}

void InFile::limitSize(std::uint64_t maxBytes, const std::string& bound) {
  maxBytes_ = maxBytes;
  bound_ = bound;
  struct stat st {};
  if (fd_ >= 0 && fstat(fd_, &st) == 0 && S_ISREG(st.st_mode) &&
      static_cast<std::uint64_t>(st.st_size) > maxBytes)
    refuseSize(std::to_string(st.st_size) + " bytes");
  if (bytesRead_ > maxBytes_) refuseSize("more than " + std::to_string(maxBytes_) + " bytes");
}

void InFile::refuseSize(const std::string& amount) const {
  throw IoError(name_ + ": " + amount + ", far more than " + bound_ + " can need (at most " +
                std::to_string(maxBytes_) + " bytes); refused");
}

bool InFile::refill() {
  if (atEnd_ || fd_ < 0) return false;
  if (buffer_.empty()) buffer_.resize(kReadSize);  // a file never read takes no buffer
  pos_ = end_ = 0;
  // Whatever is there: a pipe delivers its records as they come.
  ssize_t got;
  do {
    got = ::read(fd_, buffer_.data(), buffer_.size());
  } while (got < 0 && errno == EINTR);
  if (got < 0) throw IoError("cannot read " + name_ + ": " + std::strerror(errno));
  if (got == 0) {
    atEnd_ = true;
    return false;
  }
  end_ = static_cast<std::size_t>(got);
  return true;
}

bool InFile::fetch() {
  // Records end at '\n'; a '\r' just before it is dropped; a last line without a
  // newline is still a record.
  std::string line;
  bool any = false;
  for (;;) {
    if (pos_ == end_ && !refill()) break;
    any = true;
    const char* begin = buffer_.data() + pos_;
    const char* stop = static_cast<const char*>(std::memchr(begin, '\n', end_ - pos_));
    const std::size_t take = stop != nullptr ? static_cast<std::size_t>(stop - begin) : end_ - pos_;
    if (line.size() + take > kMaxRecordLength)
      fail(next_ + 1, "a record longer than " + std::to_string(kMaxRecordLength) +
                          " characters; this is not a text file of the expected kind");
    line.append(begin, take);
    pos_ += take;
    bytesRead_ += take;
    if (stop != nullptr) {
      ++pos_;
      ++bytesRead_;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      break;
    }
  }
  if (bytesRead_ > maxBytes_) refuseSize("more than " + std::to_string(maxBytes_) + " bytes");
  if (!any) return false;
  record_ = std::move(line);
  return true;
}

void InFile::fail(int record, const std::string& what) const {
  throw IoError(name_ + ", record " + std::to_string(record) + ": " + what);
}

std::string_view InFile::takeRecord(const std::string& expected) {
  if (!fetch()) fail(next_ + 1, "end of file while " + expected);
  ++next_;
  return record_;
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

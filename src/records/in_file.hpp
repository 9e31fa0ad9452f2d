#pragma once
/// Sequential text input file read record by record, with a layout or free-form.

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "records/layout.hpp"

namespace sw::rec {

/// Destination of one value of a read: an integer or a double variable.
struct Target {
  enum class Kind : unsigned char { Int, Real };
  Kind kind;
  void* ptr;

  Target(int& v) : kind(Kind::Int), ptr(&v) {}
  Target(double& v) : kind(Kind::Real), ptr(&v) {}
};

/// Longest record accepted, in characters.  No record of the deck or the tables comes
/// near it; a longer line means a file that is not text (or an endless one, such as
/// /dev/zero), and it is refused before it fills the memory.
inline constexpr std::size_t kMaxRecordLength = std::size_t{1} << 16;

/// A sequential input file, read record by record as the reads ask for them: a file is
/// never held whole, and records after the last one read are never read.  Every read
/// starts at the beginning of the next unread record.  Failures (missing file,
/// unconvertible field, end of file, a record or a file beyond its bound) raise IoError
/// with a message naming the file, the record number and what was expected.
class InFile {
 public:
  InFile() = default;
  InFile(const InFile&) = delete;
  InFile& operator=(const InFile&) = delete;
  InFile(InFile&& other) noexcept;
  InFile& operator=(InFile&& other) noexcept;
  ~InFile();

  /// Opens an existing regular file; IoError when it is missing or unreadable, or when
  /// something else stands there (a FIFO would block until a writer comes, a device
  /// would deliver what it likes): it is refused without waiting.
  void open(std::string name);
  /// Opens `name`, creating it empty when nothing is there; true when it was created.  A
  /// symbolic link whose target is missing reads as an empty file and creates nothing.
  bool openOrCreate(std::string name);

  /// Refuses the file when it holds more than `maxBytes` bytes: at once when it is a
  /// regular file of that size, otherwise as soon as that much has been read.  `bound`
  /// says what the limit stands for, e.g. "a deck for a 10 x 8 grid".
  void limitSize(std::uint64_t maxBytes, const std::string& bound);

  /// One formatted read with the value items of `layout` (iw, ew.d): fixed columns,
  /// blanks ignored, an all-blank field is zero, a real without a decimal point is
  /// scaled by 10^-d; the layout is reused over further records while targets remain.
  /// A read with no targets consumes one record.
  void read(const Layout& layout, std::span<const Target> targets);
  void read(const Layout& layout, std::initializer_list<Target> targets);

  /// One free-form read: blank- or comma-separated values continuing over records;
  /// the rest of the last record touched is skipped.  A null value (",,", or a leading
  /// comma) leaves its target unchanged, "/" ends the read leaving the remaining targets
  /// unchanged, and r*value (r*) stands for r values (r null values).
  void readList(std::span<const Target> targets);
  void readList(std::initializer_list<Target> targets);

  /// Number of records consumed so far: the line of the last record read.
  int recordsRead() const { return next_; }
  const std::string& name() const { return name_; }

 private:
  [[noreturn]] void fail(int record, const std::string& what) const;
  [[noreturn]] void refuseSize(const std::string& amount) const;
  /// Closes the file and forgets its records; the next open starts afresh.
  void reset(std::string name);
  void close() noexcept;
  /// Reads the next record into record_; false at end of file.
  bool fetch();
  /// Refills the read buffer; false at end of file.
  bool refill();
  /// The next record, consumed; IoError naming `expected` at end of file.  The view
  /// stays valid until the next record is taken.
  std::string_view takeRecord(const std::string& expected);
  void readField(std::string_view record, std::size_t& pos, const Item& item, const Target& target,
                 const Layout& layout);
  void assignList(const Target& target, std::size_t index, std::string_view token, int record);

  std::string name_;
  int fd_ = -1;
  std::vector<char> buffer_;  ///< bytes read from the file, not yet split into records
  std::size_t pos_ = 0, end_ = 0;
  bool atEnd_ = false;
  std::string record_;           ///< the record taken last
  std::uint64_t bytesRead_ = 0;  ///< bytes of the records fetched so far
  std::uint64_t maxBytes_ = UINT64_MAX;
  std::string bound_;
  int next_ = 0;
};

}  // namespace sw::rec

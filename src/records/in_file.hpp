#pragma once
/// Sequential text input file read record by record, with a layout or free-form.

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

/// A sequential input file.  Every read starts at the beginning of the next unread
/// record.  Failures (missing file, unconvertible field, end of file) raise IoError
/// with a message naming the file, the record number and what was expected.
class InFile {
 public:
  /// Opens an existing file; IoError when it is missing or unreadable.
  void open(std::string name);
  /// Opens `name`, creating it empty when it does not exist.
  void openOrCreate(std::string name);

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

  const std::string& name() const { return name_; }

 private:
  [[noreturn]] void fail(int record, const std::string& what) const;
  /// The next record, consumed; IoError naming `expected` at end of file.
  std::string_view takeRecord(const std::string& expected);
  void readField(std::string_view record, std::size_t& pos, const Item& item, const Target& target,
                 const Layout& layout);
  void assignList(const Target& target, std::size_t index, std::string_view token, int record);

  std::string name_;
  std::vector<std::string> records_;
  int next_ = 0;
};

}  // namespace sw::rec

#pragma once
/// Sequential text output file written through record layouts.

#include <cstdio>
#include <initializer_list>
#include <span>
#include <string>

#include "records/layout.hpp"
#include "records/value.hpp"

namespace sw::rec {

/// A sequential text file: the run log, a wavelet file, a snapshot or trace file.
/// Output is buffered and flushed on flush() and on destruction; a failure to create or
/// write the file raises IoError.
class OutFile {
 public:
  OutFile() = default;
  OutFile(const OutFile&) = delete;
  OutFile& operator=(const OutFile&) = delete;
  OutFile(OutFile&& other) noexcept;
  OutFile& operator=(OutFile&& other) noexcept;
  ~OutFile();

  /// Creates `name`, or empties it when present.
  void open(std::string name);
  /// Remembers `name`; the file is created only when its first record is written.
  void openOnFirstWrite(std::string name);

  void write(const Layout& layout, std::initializer_list<Value> values);
  void write(const Layout& layout, std::span<const Value> values);
  void writeReals(const Layout& layout, std::span<const double> values);
  /// Free-form write: one record.
  void writeList(std::initializer_list<Value> items);

  /// Writes the buffered records to the file.
  void flush();
  const std::string& name() const { return name_; }

 private:
  /// Makes sure the file exists before a record is buffered for it.
  void prepare();
  /// Writes the buffer once it has grown past its flush size.
  void drainIfFull();
  void drain();
  /// Flushes and closes without throwing (destructor, move assignment).
  void closeQuietly() noexcept;
  void create();

  std::string name_;
  std::FILE* file_ = nullptr;
  bool deferred_ = false;
  std::string buffer_;
};

}  // namespace sw::rec

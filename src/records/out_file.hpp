#pragma once
/// Sequential text output file written through record layouts, put in place safely.

#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "records/layout.hpp"
#include "records/value.hpp"

namespace sw::rec {

/// A sequential text file: the run log, a wavelet file, a snapshot or trace file.
///
/// A file is never written through what stands at its name.  Its records go to a
/// temporary file beside it (".<name>.stripwave-<pid>-<n>") which is then renamed to the
/// name, so a symbolic link there is replaced, not followed, and a file of an earlier run
/// keeps its content until the new one is complete.  What cannot be replaced is refused
/// when the file is opened: a directory, a special file (a device, a pipe, a socket), or
/// a file without write permission.  Every write, flush and close is checked; a failure
/// raises IoError naming the file.
class OutFile {
 public:
  OutFile() = default;
  OutFile(const OutFile&) = delete;
  OutFile& operator=(const OutFile&) = delete;
  OutFile(OutFile&& other) noexcept;
  OutFile& operator=(OutFile&& other) noexcept;
  /// Removes the temporary file of a file that was not committed; a live file is
  /// flushed and closed without a check.
  ~OutFile();

  /// A live file (the run log): created empty under a temporary name and renamed into
  /// place at once, then written in place, so its progress can be followed.
  void open(std::string name);
  /// A file that appears when committed: the name is checked now, the temporary file is
  /// created with the first record, and commit() puts it in place.
  void openForCommit(std::string name);
  /// A file whose records are held in memory, with no descriptor open, until commit()
  /// writes them to a temporary file and puts it in place (a shot's log in a survey of
  /// more shots than the process may hold files open).  The name is checked now.
  void openHeld(std::string name);

  void write(const Layout& layout, std::initializer_list<Value> values);
  void write(const Layout& layout, std::span<const Value> values);
  void writeReals(const Layout& layout, std::span<const double> values);
  /// Free-form write: one record.
  void writeList(std::initializer_list<Value> items);
  /// Records already formatted (as a copy made by copyRecordsTo holds them), as they are.
  void writeText(std::string_view text);
  /// From now on every record written is appended to `*copy` as well; nullptr stops.
  void copyRecordsTo(std::string* copy) { copy_ = copy; }

  /// Writes the buffered records to the file (to the temporary file before a commit); a
  /// held file keeps them.
  void flush();
  /// Writes out and closes the file, checking both.  The file stays under its temporary
  /// name until commit().
  void finish();
  /// finish(), then renames the temporary file to the name.  A file that never received a
  /// record is not created.  A live file is closed.
  void commit();
  const std::string& name() const { return name_; }

 private:
  friend void commitTogether(std::span<OutFile* const> files);
  enum class State : unsigned char {
    Closed,   ///< nothing open, or committed
    Pending,  ///< waiting for its first record (openForCommit)
    Held,     ///< records kept in buffer_ until the commit (openHeld)
    Writing,  ///< records go to fd_
    Finished  ///< closed, waiting under its temporary name for commit()
  };

  /// Makes sure a file is there before a record is buffered for it.
  void prepare();
  /// Writes the buffer once it has grown past its flush size.
  void drainIfFull();
  void drain();
  /// Appends what was buffered from `mark` on to the copy, if one is made.
  void copyFrom(std::size_t mark);
  /// Creates the temporary file, or opens a special file in place.
  void createTarget();
  /// Closes and removes what is not committed, without throwing.
  void discard() noexcept;
  [[noreturn]] void fail(const std::string& action, int err) const;

  std::string name_;
  std::string temp_;  ///< temporary name; empty when written in place
  int fd_ = -1;
  State state_ = State::Closed;
  bool live_ = false;
  std::string buffer_;
  std::string* copy_ = nullptr;
};

/// Commits the files as one set: all of them take their names, or, when a rename fails,
/// none does (those renamed already give way to the earlier files again, kept under a
/// second name until the last rename) and IoError names the file.  Each file is on the
/// disk (fsync) before it replaces an earlier one.
void commitTogether(std::span<OutFile* const> files);

/// Puts `name` in place whole or not at all: the parts, one after another, go to a
/// temporary file beside it (named as OutFile names its own, so that a run directory's
/// lock removes one left by a killed run), which is flushed to disk and renamed to the
/// name; the directory is flushed after the rename.  A failure raises IoError naming the
/// file and leaves what stood at the name as it was.
void replaceWhole(const std::string& name, std::span<const std::string_view> parts);

/// Creates `name` as an empty file when nothing stands there (not even a link); what is
/// there is left alone.
void createIfMissing(const std::string& name);

/// What a file of mode `mode` (st_mode) that is not a regular file is, for messages:
/// "a FIFO (named pipe)", "a character device", ...
std::string fileKind(unsigned mode);

/// True for the names of the temporary files OutFile creates; such files left in a run
/// directory belong to an interrupted run.
bool isTemporaryName(std::string_view name);

}  // namespace sw::rec

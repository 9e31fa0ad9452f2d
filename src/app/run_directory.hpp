#pragma once
/// The run directory: one run at a time, and what earlier runs left behind.

#include <string>
#include <vector>

namespace sw {

/// The current directory, locked for one run.  A second run started in the same
/// directory while the lock is held is refused (RunDirectoryBusy) before it touches a
/// file.  Temporary files that an interrupted run left behind are removed once the lock
/// is held.  The lock ends with the object or the process.
class RunDirectoryLock {
 public:
  RunDirectoryLock();
  ~RunDirectoryLock();
  RunDirectoryLock(const RunDirectoryLock&) = delete;
  RunDirectoryLock& operator=(const RunDirectoryLock&) = delete;

  /// Names of the temporary files removed when the lock was taken.
  const std::vector<std::string>& removedTemporaries() const { return removed_; }

 private:
  int fd_ = -1;
  std::vector<std::string> removed_;
};

/// Another run holds the lock of the directory.
struct RunDirectoryBusy {};

/// Removes the snapshot files (files or links) that are not among this run's nsnapt: those
/// an earlier run with more snapshots, or with names of another width, left behind.
/// Returns their names, sorted.  They are those of directory `dir`.
std::vector<std::string> removeStaleSnapshots(int nsnapt, const std::string& dir = ".");

}  // namespace sw

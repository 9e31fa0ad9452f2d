#include "app/run_directory.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string_view>

#include "input/run_files.hpp"
#include "records/io_error.hpp"
#include "records/out_file.hpp"

namespace sw {

namespace {

/// Removes the temporary files of OutFile in the directory open as `fd`.
std::vector<std::string> removeTemporaries(int fd) {
  std::vector<std::string> removed;
  const int dup = ::dup(fd);
  if (dup < 0) return removed;
  DIR* dir = fdopendir(dup);
  if (dir == nullptr) {
    ::close(dup);
    return removed;
  }
  while (const dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    struct stat st {};
    if (!rec::isTemporaryName(name) || fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(st.st_mode))
      continue;
    if (unlinkat(fd, name.c_str(), 0) == 0) removed.push_back(name);
  }
  closedir(dir);
  std::sort(removed.begin(), removed.end());
  return removed;
}

/// A snapshot file name: component 1 (fort.5...) or 2 (fort.6...) and index k >= 1,
/// written in 2 to 5 digits (two up to 99 snapshots, one more per power of ten; nsnapt
/// is an (i5) field).
struct SnapshotName {
  int component = 0;
  int k = 0;
};

std::optional<SnapshotName> parseSnapshotName(std::string_view name) {
  constexpr std::string_view kPrefix = "fort.";
  if (name.substr(0, kPrefix.size()) != kPrefix || name.size() < kPrefix.size() + 3)
    return std::nullopt;
  const char c = name[kPrefix.size()];
  const std::string_view digits = name.substr(kPrefix.size() + 1);
  if ((c != '5' && c != '6') || digits.size() > 5) return std::nullopt;
  int k = 0;
  for (const char d : digits) {
    if (d < '0' || d > '9') return std::nullopt;
    k = 10 * k + (d - '0');
  }
  if (k < 1) return std::nullopt;
  return SnapshotName{c == '6' ? 2 : 1, k};
}

}  // namespace

RunDirectoryLock::RunDirectoryLock() {
  // The directory itself is locked: no lock file is left behind, and the lock goes with
  // the process however it ends.
  fd_ = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd_ < 0)
    throw rec::IoError(std::string("cannot lock the run directory: ") + std::strerror(errno));
  if (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    ::close(fd_);
    fd_ = -1;
    if (err == EWOULDBLOCK) throw RunDirectoryBusy{};
    throw rec::IoError(std::string("cannot lock the run directory: ") + std::strerror(err));
  }
  removed_ = removeTemporaries(fd_);
}

RunDirectoryLock::~RunDirectoryLock() {
  if (fd_ >= 0) ::close(fd_);
}

std::vector<std::string> removeStaleSnapshots(int nsnapt, const std::string& where) {
  std::vector<std::string> removed;
  DIR* dir = opendir(where.c_str());
  if (dir == nullptr) return removed;
  while (const dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    const std::optional<SnapshotName> s = parseSnapshotName(name);
    if (!s || (s->k <= nsnapt && name == files::snapshot(s->component, s->k, nsnapt))) continue;
    const std::string path = where == "." ? name : where + "/" + name;
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISLNK(st.st_mode))) continue;
    if (::unlink(path.c_str()) == 0) removed.push_back(path);
  }
  closedir(dir);
  std::sort(removed.begin(), removed.end());
  return removed;
}

}  // namespace sw

#include "app/run_directory.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "model/run_params.hpp"
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

std::vector<std::string> removeStaleSnapshots(int nsnapt) {
  std::vector<std::string> removed;
  for (const int base : {500, 600})
    for (int k = std::max(nsnapt, 0) + 1; k <= kMaxTimeSnaps; ++k) {
      const std::string name = "fort." + std::to_string(base + k);
      struct stat st {};
      if (lstat(name.c_str(), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISLNK(st.st_mode))) continue;
      if (::unlink(name.c_str()) == 0) removed.push_back(name);
    }
  return removed;
}

}  // namespace sw

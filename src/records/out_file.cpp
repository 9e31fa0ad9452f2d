#include "records/out_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>
#include <vector>

#include "records/io_error.hpp"
#include "records/render.hpp"

namespace sw::rec {

namespace {

/// The buffer is written out once it holds this many bytes.
constexpr std::size_t kFlushSize = std::size_t{1} << 16;

constexpr std::string_view kTempMark = ".stripwave-";

/// What stands at an output name.
struct Existing {
  bool regular = false;  ///< a regular file, to be replaced keeping its permissions
  mode_t mode = 0;
};

/// Looks at `name` without following a link there.  A directory, a special file (a pipe
/// would block the run until a reader comes, a device would take the records in place
/// of a file), or a file nobody may write is not replaced: it raises IoError (`action`
/// names what was attempted).
Existing inspect(const std::string& name, const std::string& action) {
  struct stat st {};
  Existing e;
  if (lstat(name.c_str(), &st) != 0) return e;  // nothing there (or not visible): create
  if (S_ISDIR(st.st_mode)) throw IoError(action + " " + name + ": " + std::strerror(EISDIR));
  if (S_ISREG(st.st_mode)) {
    // The permission bits are asked as well as access(): root may write anything.
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0 && access(name.c_str(), W_OK) != 0 &&
        errno == EROFS)
      throw IoError(action + " " + name + ": the file system is read-only");
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || access(name.c_str(), W_OK) != 0)
      throw IoError(action + " " + name +
                    ": the file there is read-only; make it writable or remove it");
    e.regular = true;
    e.mode = st.st_mode & 07777;
  } else if (!S_ISLNK(st.st_mode)) {
    throw IoError(action + " " + name + ": " + fileKind(st.st_mode) +
                  " stands there, not a regular file; remove it or run elsewhere");
  }
  return e;
}

/// A fresh name beside `name` for its temporary file.
std::string temporaryName(const std::string& name) {
  static std::atomic<unsigned> counter{0};
  const std::size_t slash = name.rfind('/');
  const std::string dir = slash == std::string::npos ? "" : name.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
  return dir + "." + base + std::string(kTempMark) + std::to_string(getpid()) + "-" +
         std::to_string(counter++);
}

bool allDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

}  // namespace

std::string fileKind(unsigned mode) {
  if (S_ISFIFO(mode)) return "a FIFO (named pipe)";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISDIR(mode)) return "a directory";
  return "a special file";
}

bool isTemporaryName(std::string_view name) {
  if (name.size() < 2 || name[0] != '.') return false;
  const std::size_t mark = name.rfind(kTempMark);
  if (mark == std::string_view::npos || mark == 0) return false;
  const std::string_view tail = name.substr(mark + kTempMark.size());
  const std::size_t dash = tail.find('-');
  return dash != std::string_view::npos && allDigits(tail.substr(0, dash)) &&
         allDigits(tail.substr(dash + 1));
}

void createIfMissing(const std::string& name) {
  struct stat st {};
  if (lstat(name.c_str(), &st) == 0 || errno != ENOENT) return;
  const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd >= 0) {
    ::close(fd);
  } else if (errno != EEXIST) {
    throw IoError("cannot create " + name + ": " + std::strerror(errno));
  }
}

OutFile::OutFile(OutFile&& other) noexcept
    : name_(std::move(other.name_)),
      temp_(std::exchange(other.temp_, std::string())),
      fd_(std::exchange(other.fd_, -1)),
      state_(std::exchange(other.state_, State::Closed)),
      live_(other.live_),
      buffer_(std::exchange(other.buffer_, std::string())),
      copy_(std::exchange(other.copy_, nullptr)) {}

OutFile& OutFile::operator=(OutFile&& other) noexcept {
  if (this != &other) {
    discard();
    name_ = std::move(other.name_);
    temp_ = std::exchange(other.temp_, std::string());
    fd_ = std::exchange(other.fd_, -1);
    state_ = std::exchange(other.state_, State::Closed);
    live_ = other.live_;
    buffer_ = std::exchange(other.buffer_, std::string());
    copy_ = std::exchange(other.copy_, nullptr);
  }
  return *this;
}

OutFile::~OutFile() { discard(); }

void OutFile::discard() noexcept {
  if (fd_ >= 0) {
    if (temp_.empty()) {
      try {
        drain();  // a live or special file keeps what was written
      } catch (...) {
        // Nothing can be reported from here.
      }
    }
    ::close(fd_);
    fd_ = -1;
  }
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
  buffer_.clear();
  state_ = State::Closed;
}

void OutFile::fail(const std::string& action, int err) const {
  throw IoError(action + " " + name_ + ": " + std::strerror(err));
}

void OutFile::open(std::string name) {
  discard();
  name_ = std::move(name);
  live_ = true;
  createTarget();
  if (!temp_.empty()) {
    // In place at once: the log is followed while the run goes on.
    if (std::rename(temp_.c_str(), name_.c_str()) != 0) {
      const int err = errno;
      discard();
      fail("cannot create", err);
    }
    temp_.clear();
  }
  state_ = State::Writing;
}

void OutFile::openForCommit(std::string name) {
  discard();
  name_ = std::move(name);
  live_ = false;
  inspect(name_, "cannot create");
  state_ = State::Pending;
}

void OutFile::openHeld(std::string name) {
  discard();
  name_ = std::move(name);
  live_ = false;
  inspect(name_, "cannot create");
  state_ = State::Held;
}

void OutFile::createTarget() {
  const Existing e = inspect(name_, "cannot create");
  for (;;) {
    temp_ = temporaryName(name_);
    fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd_ >= 0) break;
    const int err = errno;
    temp_.clear();
    if (err != EEXIST) fail("cannot create", err);
  }
  // A replaced file keeps its permissions, as it would when overwritten.
  if (e.regular && fchmod(fd_, e.mode) != 0) {
    const int err = errno;
    discard();
    fail("cannot create", err);
  }
}

void OutFile::prepare() {
  if (state_ == State::Writing || state_ == State::Held) return;
  if (state_ != State::Pending) throw std::logic_error("write to a file that is not open");
  createTarget();
  state_ = State::Writing;
}

void OutFile::drainIfFull() {
  if (buffer_.size() >= kFlushSize) drain();
}

void OutFile::drain() {
  if (fd_ < 0 || buffer_.empty()) return;
  std::size_t done = 0;
  while (done < buffer_.size()) {
    const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int err = n < 0 ? errno : EIO;
      buffer_.erase(0, done);
      fail("cannot write", err);
    }
    done += static_cast<std::size_t>(n);
  }
  buffer_.clear();
}

void OutFile::write(const Layout& layout, std::initializer_list<Value> values) {
  write(layout, std::span<const Value>(values.begin(), values.size()));
}

void OutFile::write(const Layout& layout, std::span<const Value> values) {
  prepare();
  const std::size_t mark = buffer_.size();
  try {
    render(buffer_, layout, values);
  } catch (...) {
    buffer_.resize(mark);  // no half-written records
    throw;
  }
  copyFrom(mark);
  drainIfFull();
}

void OutFile::writeReals(const Layout& layout, std::span<const double> values) {
  prepare();
  const std::size_t mark = buffer_.size();
  try {
    renderReals(buffer_, layout, values);
  } catch (...) {
    buffer_.resize(mark);
    throw;
  }
  copyFrom(mark);
  drainIfFull();
}

void OutFile::writeList(std::initializer_list<Value> items) {
  prepare();
  const std::size_t mark = buffer_.size();
  renderList(buffer_, std::span<const Value>(items.begin(), items.size()));
  copyFrom(mark);
  drainIfFull();
}

void OutFile::writeText(std::string_view text) {
  prepare();
  const std::size_t mark = buffer_.size();
  buffer_.append(text);
  copyFrom(mark);
  drainIfFull();
}

void OutFile::copyFrom(std::size_t mark) {
  if (copy_ != nullptr) copy_->append(buffer_, mark, std::string::npos);
}

void OutFile::flush() { drain(); }

void replaceWhole(const std::string& name, std::span<const std::string_view> parts) {
  const Existing e = inspect(name, "cannot create");
  std::string temp;
  int fd = -1;
  for (;;) {
    temp = temporaryName(name);
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0) break;
    if (errno != EEXIST) throw IoError("cannot create " + name + ": " + std::strerror(errno));
  }
  const auto fail = [&](int err) {
    ::close(fd);
    ::unlink(temp.c_str());
    throw IoError("cannot write " + name + ": " + std::strerror(err));
  };
  if (e.regular && fchmod(fd, e.mode) != 0) fail(errno);
  for (const std::string_view part : parts) {
    std::size_t done = 0;
    while (done < part.size()) {
      const ssize_t n = ::write(fd, part.data() + done, part.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) fail(n < 0 ? errno : EIO);
      done += static_cast<std::size_t>(n);
    }
  }
  if (::fsync(fd) != 0) fail(errno);
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    throw IoError("cannot write " + name + ": " + std::strerror(err));
  }
  if (std::rename(temp.c_str(), name.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    throw IoError("cannot create " + name + ": " + std::strerror(err));
  }
  // The rename itself reaches the disk with the directory.
  const std::size_t slash = name.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : name.substr(0, slash + 1);
  const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
}

void OutFile::finish() {
  if (state_ == State::Held) {
    createTarget();
    state_ = State::Writing;
  }
  if (state_ != State::Writing) return;
  drain();
  // Finished files wait for their commit together: their buffers are given back now.
  std::string().swap(buffer_);
  const int fd = std::exchange(fd_, -1);
  // On the disk before it replaces an earlier file: a crash after the rename does not
  // leave an empty file at the name.
  if (!temp_.empty() && ::fsync(fd) != 0) {
    const int err = errno;
    ::close(fd);
    fail("cannot write", err);
  }
  if (::close(fd) != 0) fail("cannot write", errno);
  state_ = temp_.empty() ? State::Closed : State::Finished;
}

void commitTogether(std::span<OutFile* const> files) {
  for (OutFile* f : files) f->finish();
  struct Step {
    OutFile* file;
    std::string backup;  ///< a second link to the earlier file at the name; empty: none
  };
  std::vector<Step> steps;
  const auto dropBackups = [&steps] {
    for (const Step& s : steps)
      if (!s.backup.empty()) ::unlink(s.backup.c_str());
  };
  // Every name is looked at, and every earlier file kept under a second name, before the
  // first one is replaced.
  for (OutFile* f : files) {
    if (f->state_ != OutFile::State::Finished) continue;
    try {
      const Existing e = inspect(f->name_, "cannot create");
      Step s{f, {}};
      if (e.regular) {
        s.backup = temporaryName(f->name_);
        if (::link(f->name_.c_str(), s.backup.c_str()) != 0) {
          const int err = errno;
          dropBackups();
          f->fail("cannot keep the earlier file of", err);
        }
      }
      steps.push_back(std::move(s));
    } catch (...) {
      dropBackups();
      throw;
    }
  }
  for (std::size_t k = 0; k < steps.size(); ++k) {
    OutFile& f = *steps[k].file;
    if (std::rename(f.temp_.c_str(), f.name_.c_str()) == 0) continue;
    const int err = errno;
    // The files renamed so far give way to the earlier ones again: the earlier set stays
    // whole.  The new files are removed with their OutFile.
    for (std::size_t j = 0; j < k; ++j) {
      const Step& s = steps[j];
      if (s.backup.empty())
        ::unlink(s.file->name_.c_str());
      else if (std::rename(s.backup.c_str(), s.file->name_.c_str()) == 0)
        continue;
    }
    for (std::size_t j = k; j < steps.size(); ++j)
      if (!steps[j].backup.empty()) ::unlink(steps[j].backup.c_str());
    for (std::size_t j = 0; j < k; ++j) steps[j].file->temp_.clear();
    throw IoError("cannot create " + f.name_ + ": " + std::strerror(err) +
                  "; the files of the earlier run were put back");
  }
  dropBackups();
  for (const Step& s : steps) {
    s.file->temp_.clear();
    s.file->state_ = OutFile::State::Closed;
  }
}

void OutFile::commit() {
  finish();
  if (state_ == State::Finished) {
    // The name is looked at again: what appeared there meanwhile is not replaced either.
    inspect(name_, "cannot create");
    if (std::rename(temp_.c_str(), name_.c_str()) != 0) fail("cannot create", errno);
    temp_.clear();
  }
  state_ = State::Closed;
}

}  // namespace sw::rec

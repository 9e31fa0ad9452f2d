#include "records/out_file.hpp"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "records/io_error.hpp"
#include "records/render.hpp"

namespace sw::rec {

namespace {

/// The buffer is written out once it holds this many bytes.
constexpr std::size_t kFlushSize = std::size_t{1} << 16;

std::string osError(int err) { return std::strerror(err); }

}  // namespace

OutFile::OutFile(OutFile&& other) noexcept
    : name_(std::move(other.name_)),
      file_(std::exchange(other.file_, nullptr)),
      deferred_(std::exchange(other.deferred_, false)),
      buffer_(std::move(other.buffer_)) {
  other.buffer_.clear();
}

OutFile& OutFile::operator=(OutFile&& other) noexcept {
  if (this != &other) {
    closeQuietly();
    name_ = std::move(other.name_);
    file_ = std::exchange(other.file_, nullptr);
    deferred_ = std::exchange(other.deferred_, false);
    buffer_ = std::move(other.buffer_);
    other.buffer_.clear();
  }
  return *this;
}

OutFile::~OutFile() { closeQuietly(); }

void OutFile::closeQuietly() noexcept {
  if (file_ != nullptr) {
    try {
      drain();
    } catch (...) {
      // Nothing can be reported from here; the records are lost.
    }
    std::fclose(file_);
    file_ = nullptr;
  }
  buffer_.clear();
  deferred_ = false;
}

void OutFile::open(std::string name) {
  if (file_ != nullptr) {
    drain();
    std::fclose(file_);
    file_ = nullptr;
  }
  buffer_.clear();
  deferred_ = false;
  name_ = std::move(name);
  create();
}

void OutFile::openOnFirstWrite(std::string name) {
  if (file_ != nullptr) {
    drain();
    std::fclose(file_);
    file_ = nullptr;
  }
  buffer_.clear();
  name_ = std::move(name);
  deferred_ = true;
}

void OutFile::create() {
  std::FILE* f = std::fopen(name_.c_str(), "w");
  if (f == nullptr) throw IoError("cannot create " + name_ + ": " + osError(errno));
  // Records are collected in buffer_ already; a second buffer would only copy them.
  std::setvbuf(f, nullptr, _IONBF, 0);
  file_ = f;
  deferred_ = false;
}

void OutFile::prepare() {
  if (file_ != nullptr) return;
  if (!deferred_) throw std::logic_error("write to a file that is not open");
  create();
}

void OutFile::drainIfFull() {
  if (buffer_.size() >= kFlushSize) drain();
}

void OutFile::drain() {
  if (file_ == nullptr || buffer_.empty()) return;
  const std::size_t written = std::fwrite(buffer_.data(), 1, buffer_.size(), file_);
  if (written != buffer_.size()) {
    const int err = errno;
    buffer_.erase(0, written);
    throw IoError("cannot write " + name_ + ": " + osError(err));
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
  drainIfFull();
}

void OutFile::writeList(std::initializer_list<Value> items) {
  prepare();
  renderList(buffer_, std::span<const Value>(items.begin(), items.size()));
  drainIfFull();
}

void OutFile::flush() {
  drain();
  if (file_ != nullptr && std::fflush(file_) != 0) {
    throw IoError("cannot write " + name_ + ": " + osError(errno));
  }
}

}  // namespace sw::rec

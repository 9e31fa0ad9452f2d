#pragma once
/// The raw bytes of a run's state, written and read back bit for bit (a checkpoint), and
/// a digest that tells two byte sequences apart.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace sw {

/// A 64-bit digest of byte sequences (not cryptographic: it tells a changed file from
/// the same one).  Bytes are taken eight at a time, each word mixed by a multiply and
/// shift; the length is mixed in at the end.
class Digest {
 public:
  void add(std::string_view bytes) { add(bytes.data(), bytes.size()); }
  void add(const void* data, std::size_t n) {
    const auto* p = static_cast<const unsigned char*>(data);
    length_ += n;
    while (n > 0 && pending_ != 0) {  // fill a word started by an earlier call
      word_ |= std::uint64_t{*p++} << (8 * pending_);
      pending_ = (pending_ + 1) % 8;
      --n;
      if (pending_ == 0) mixWord();
    }
    for (; n >= 8; n -= 8, p += 8) {
      std::memcpy(&word_, p, 8);
      mixWord();
    }
    for (; n > 0; --n) {
      word_ |= std::uint64_t{*p++} << (8 * pending_);
      ++pending_;
    }
  }
  std::uint64_t value() const {
    std::uint64_t h = state_ ^ mix(word_ + 0x9e3779b97f4a7c15ULL * (pending_ + 1));
    return mix(h ^ length_);
  }

 private:
  static std::uint64_t mix(std::uint64_t x) {
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    x *= 0xc4ceb9fe1a85ec53ULL;
    x ^= x >> 33;
    return x;
  }
  void mixWord() {
    state_ = (state_ ^ mix(word_)) * 0x100000001b3ULL + 0x2545f4914f6cdd1dULL;
    word_ = 0;
  }
  std::uint64_t state_ = 0xcbf29ce484222325ULL;
  std::uint64_t word_ = 0;
  unsigned pending_ = 0;  ///< bytes of word_ filled
  std::uint64_t length_ = 0;
};

/// Appends values and arrays as their raw bytes.
class StateWriter {
 public:
  explicit StateWriter(std::vector<unsigned char>& out) : out_(out) {}
  void bytes(const void* data, std::size_t n) {
    const auto* p = static_cast<const unsigned char*>(data);
    out_.insert(out_.end(), p, p + n);
  }
  template <class T>
  void value(const T& v) {
    static_assert(std::is_trivially_copyable_v<T>);
    bytes(&v, sizeof(T));
  }
  /// The element count, then the elements.
  template <class T>
  void array(std::span<const T> v) {
    static_assert(std::is_trivially_copyable_v<T>);
    value(static_cast<std::uint64_t>(v.size()));
    bytes(v.data(), v.size_bytes());
  }
  void text(std::string_view s) { array(std::span<const char>(s.data(), s.size())); }

 private:
  std::vector<unsigned char>& out_;
};

/// The bytes of a state ended before what was to be read, or held a count other than
/// the one expected.
class StateMismatch : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// Reads back what a StateWriter wrote, in the same order; a read past the end or an
/// array of another length raises StateMismatch.
class StateReader {
 public:
  explicit StateReader(std::span<const unsigned char> in) : in_(in) {}
  void bytes(void* data, std::size_t n) {
    if (n > in_.size() - at_) throw StateMismatch("it ends early");
    if (n > 0) std::memcpy(data, in_.data() + at_, n);
    at_ += n;
  }
  template <class T>
  T value() {
    static_assert(std::is_trivially_copyable_v<T>);
    T v;
    bytes(&v, sizeof(T));
    return v;
  }
  /// An array written by StateWriter::array into `v`, which must have its length.
  template <class T>
  void array(std::span<T> v) {
    static_assert(std::is_trivially_copyable_v<T>);
    if (value<std::uint64_t>() != v.size()) throw StateMismatch("an array of another size");
    bytes(v.data(), v.size_bytes());
  }
  /// An array of any length (at most what is left).
  template <class T>
  std::vector<T> vector() {
    const std::uint64_t n = value<std::uint64_t>();
    if (n > (in_.size() - at_) / sizeof(T)) throw StateMismatch("it ends early");
    std::vector<T> v(static_cast<std::size_t>(n));
    bytes(v.data(), v.size() * sizeof(T));
    return v;
  }
  std::string text() {
    const std::vector<char> v = vector<char>();
    return std::string(v.begin(), v.end());
  }
  std::size_t left() const { return in_.size() - at_; }

 private:
  std::span<const unsigned char> in_;
  std::size_t at_ = 0;
};

}  // namespace sw

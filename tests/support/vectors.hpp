#pragma once
/// Decoding of the values in the format vector files.

#include <bit>
#include <cstdint>
#include <string>

namespace sw::test {

/// The double whose IEEE bit pattern is the 16 hex digits `bits`.
inline double doubleFromBits(const std::string& bits) {
  return std::bit_cast<double>(static_cast<std::uint64_t>(std::stoull(bits, nullptr, 16)));
}

inline std::uint64_t bitsOf(double x) { return std::bit_cast<std::uint64_t>(x); }

/// The 16 hex digits of the bit pattern of `x`, as in the vector files.
inline std::string hexBits(double x) {
  static const char* digits = "0123456789abcdef";
  std::uint64_t b = bitsOf(x);
  std::string s(16, '0');
  for (int k = 15; k >= 0; --k) {
    s[static_cast<std::size_t>(k)] = digits[b & 0xf];
    b >>= 4;
  }
  return s;
}

}  // namespace sw::test

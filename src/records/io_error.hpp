#pragma once
/// Failure of the file layer: a missing file, a file that cannot be written, a field
/// that cannot be converted, or an end of file before all requested values were read.

#include <stdexcept>
#include <string>

namespace sw::rec {

/// Raised by the record layer; the message names the file, the record and what was expected.
class IoError : public std::runtime_error {
 public:
  explicit IoError(const std::string& what) : std::runtime_error(what) {}
};

}  // namespace sw::rec

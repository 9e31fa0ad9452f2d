#pragma once
/// Rejection of input values the model cannot run with.

#include <cstdint>
#include <string>

#include "records/out_file.hpp"

namespace sw {

/// Writes " input error: <message>" to the log and throws InputError(message); main
/// repeats the message on the standard error stream and exits with kExitBadInput.
[[noreturn]] void rejectInput(rec::OutFile& log, const std::string& message);

/// Size in bytes beyond which an input file of `records` records is refused: 256 bytes a
/// record (a formatted record has at most 60 columns) and 64 KiB besides.
std::uint64_t inputSizeBound(std::uint64_t records);

/// Real-to-integer conversion truncating toward zero.  A value that does not fit in 32
/// bits saturates (NaN and +huge to INT_MAX, -huge to INT_MIN), so that it counts as
/// beyond the limit it is checked against instead of being undefined.
int truncInt(double x);

}  // namespace sw

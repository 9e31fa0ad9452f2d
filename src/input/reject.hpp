#pragma once
/// Rejection of input values the model cannot run with.

#include <cstdint>
#include <cstdio>
#include <string>

#include "records/out_file.hpp"

namespace sw {

/// Writes " input error: <message>" to the log and throws InputError(message); main
/// repeats the message on the standard error stream and exits with kExitBadInput.
[[noreturn]] void rejectInput(rec::OutFile& log, const std::string& message);

/// rejectInput for a value of the deck: the message starts with the deck's name.
[[noreturn]] void rejectDeckValue(rec::OutFile& log, const std::string& message);

/// Where a value of the deck stands, for messages: "inp_A, line <line>".
std::string deckLine(int line);

/// The reason of a stop for a count above its limit: "<name> = <value> <what> is above
/// the limit of <limit>".
std::string aboveLimit(const std::string& name, int value, const std::string& what, int limit);

/// Size in bytes beyond which an input file of `records` records is refused: 256 bytes a
/// record (a formatted record has at most 60 columns) and 64 KiB besides.
std::uint64_t inputSizeBound(std::uint64_t records);

/// A real as it appears in a message: up to 8 significant digits.
inline std::string realText(double x) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.8g", x);
  return buf;
}

}  // namespace sw

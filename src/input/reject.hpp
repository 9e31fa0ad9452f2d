#pragma once
/// Rejection of input values the model cannot run with.

#include <cstdio>
#include <string>

#include "records/out_file.hpp"

namespace sw {

/// Writes " input error: <message>" to the log and throws InputError(message); main
/// repeats the message on the standard error stream and exits with kExitBadInput.
[[noreturn]] void rejectInput(rec::OutFile& log, const std::string& message);

/// rejectInput for a value of the deck: the message starts with the deck's name.
[[noreturn]] void rejectDeckValue(rec::OutFile& log, const std::string& message);

/// A real as it appears in a message: up to 8 significant digits.
inline std::string realText(double x) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.8g", x);
  return buf;
}

}  // namespace sw

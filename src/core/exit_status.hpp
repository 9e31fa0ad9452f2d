#pragma once
/// How a run ends early: stop codes of the input checks and the exit statuses of failures.

#include <optional>
#include <stdexcept>
#include <string>

namespace sw {

/// A stop of the run by a check of the established program, with the log it leaves.
/// With a code, "STOP <code>" goes to the standard error stream, followed by the reason,
/// and the process exits with the code's low 8 bits.  Without one (a plain stop) the
/// reason goes to the standard error stream as an input error and the process exits
/// with kExitBadInput; the log, unlike that of an InputError, ends as the established
/// program leaves it.
struct Stop {
  std::optional<int> code;
  std::string reason;  ///< one sentence: the value, the limit and the likely cause
};

/// Exit statuses of failures that are not stop codes (none collides with the low 8 bits
/// of a stop code).
inline constexpr int kExitFileError = 2;  ///< file layer: missing file, bad field, end of file
inline constexpr int kExitBadInput = 3;   ///< deck or tables that cannot give a meaningful run
inline constexpr int kExitNonFinite = 4;  ///< edge fields became non-finite (run still written)
inline constexpr int kExitNoMemory = 5;   ///< the run does not fit in memory
inline constexpr int kExitBusy = 6;       ///< another run holds the run directory
/// A frequency ended without converging and the run was asked to require convergence
/// (run still written).
inline constexpr int kExitUnconverged = 7;
inline constexpr int kExitUsage = 64;     ///< a bad command line (sysexits' EX_USAGE)

/// A run refused because its estimated memory would not fit, before its storage is
/// allocated.  The message has already been written to the log; main repeats it on the
/// standard error stream and exits with kExitNoMemory.
class NoMemory : public std::runtime_error {
 public:
  explicit NoMemory(const std::string& what) : std::runtime_error(what) {}
};

/// An input value the model cannot run with.  The message has already been written to
/// the log; main repeats it on the standard error stream and exits with kExitBadInput.
class InputError : public std::runtime_error {
 public:
  explicit InputError(const std::string& what) : std::runtime_error(what) {}
};

}  // namespace sw

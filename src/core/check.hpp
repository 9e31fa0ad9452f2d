#pragma once
/// Two tiers of internal checks.
///
/// SW_CHECK(cond, what) is compiled into every build: for conditions that must hold
/// whatever the input, tested once per call or per strip, never inside the element
/// loops.  A failure is a fault of the program, not of the input: the message goes to
/// the standard error stream and the process aborts.
///
/// SW_BOUNDS(cond) checks indices inside the kernels and grid accessors.  It is compiled
/// in only when STRIPWAVE_CHECK_BOUNDS is defined (the sanitizer and Debug builds),
/// whatever NDEBUG says, and fails like SW_CHECK.

namespace sw {

/// Writes "stripwave: internal check failed at file:line: what (cond)" and aborts.
[[noreturn]] void checkFailed(const char* cond, const char* what, const char* file, int line);

}  // namespace sw

#define SW_CHECK(cond, what) \
  ((cond) ? static_cast<void>(0) : ::sw::checkFailed(#cond, what, __FILE__, __LINE__))

#if defined(STRIPWAVE_CHECK_BOUNDS)
#define SW_BOUNDS(cond) SW_CHECK(cond, "index out of range")
#else
#define SW_BOUNDS(cond) static_cast<void>(0)
#endif

#pragma once
/// Warnings about input that runs but may not give what was meant: one line each on the
/// standard error stream, never in the log (whose content is that of the established
/// program).

#include <string>

namespace sw {

/// Writes "stripwave: warning: <message>" as one line.
void warn(const std::string& message);

/// Where warnings go instead of the standard error stream (nullptr: back to it), for
/// callers that run the input step many times, such as the fuzz targets.  Returns the
/// previous destination.
using WarningSink = void (*)(const std::string& message);
WarningSink setWarningSink(WarningSink sink);

}  // namespace sw

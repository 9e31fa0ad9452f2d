#include "core/warning.hpp"

#include <cstdio>

namespace sw {

namespace {

WarningSink gSink = nullptr;

}  // namespace

void warn(const std::string& message) {
  if (gSink != nullptr) {
    gSink(message);
    return;
  }
  std::fprintf(stderr, "stripwave: warning: %s\n", message.c_str());
}

WarningSink setWarningSink(WarningSink sink) {
  const WarningSink previous = gSink;
  gSink = sink;
  return previous;
}

}  // namespace sw

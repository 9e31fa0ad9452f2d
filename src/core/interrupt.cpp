#include "core/interrupt.hpp"

#include <csignal>

namespace sw {

namespace {

volatile std::sig_atomic_t gSignal = 0;

extern "C" void noteSignal(int signal) { gSignal = signal; }

}  // namespace

void installInterruptHandlers() {
  struct sigaction sa {};
  sa.sa_handler = noteSignal;
  sigemptyset(&sa.sa_mask);
  // Restarted system calls: a signal during a write does not turn into a write error.
  // Reset after one delivery: a second signal is not waited for.
  sa.sa_flags = SA_RESTART | SA_RESETHAND;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  std::signal(SIGXFSZ, SIG_IGN);
  std::signal(SIGPIPE, SIG_IGN);
}

int interruptSignal() { return gSignal; }

void stopIfInterrupted(const std::string& where) {
  if (gSignal != 0) throw Interrupted{gSignal, where};
}

std::string signalName(int signal) {
  switch (signal) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    default:
      return "signal " + std::to_string(signal);
  }
}

}  // namespace sw

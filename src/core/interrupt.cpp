#include "core/interrupt.hpp"

#include <pthread.h>

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

SignalsHeld::SignalsHeld() {
  static_assert(sizeof(sigset_t) <= sizeof(saved_));
  sigset_t held;
  sigemptyset(&held);
  sigaddset(&held, SIGINT);
  sigaddset(&held, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &held, reinterpret_cast<sigset_t*>(saved_));
}

SignalsHeld::~SignalsHeld() {
  pthread_sigmask(SIG_SETMASK, reinterpret_cast<const sigset_t*>(saved_), nullptr);
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

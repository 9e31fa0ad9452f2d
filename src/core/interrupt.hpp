#pragma once
/// Interruption of a run by SIGINT or SIGTERM: the handler only notes the signal; the run
/// looks at the note between passes and between output files and stops there.

#include <string>

namespace sw {

/// A run stopped by a signal; `where` says how far it got.
struct Interrupted {
  int signal = 0;
  std::string where;
};

/// Installs the handlers of SIGINT and SIGTERM (a second such signal ends the process at
/// once) and ignores SIGXFSZ and SIGPIPE, so that a file size limit or a pipe whose reader
/// has gone is a write error naming the file, like a full disk.
void installInterruptHandlers();

/// Holds SIGINT and SIGTERM back while it lives (they are delivered, and noted, when it
/// ends): a step that must not be cut in two, such as putting a set of files in place.
class SignalsHeld {
 public:
  SignalsHeld();
  ~SignalsHeld();
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  unsigned char saved_[128];  ///< the signal mask before (a sigset_t)
};

/// The signal that asked the run to stop, or 0.
int interruptSignal();

/// Throws Interrupted with `where` when a signal asked the run to stop.
void stopIfInterrupted(const std::string& where);

/// Name of a signal for messages: "SIGINT", "SIGTERM".
std::string signalName(int signal);

}  // namespace sw

#include "input/reject.hpp"

#include "core/exit_status.hpp"

namespace sw {

void rejectInput(rec::OutFile& log, const std::string& message) {
  const std::string line = "input error: " + message;
  log.writeList({std::string_view(line)});
  log.flush();
  throw InputError(message);
}

}  // namespace sw

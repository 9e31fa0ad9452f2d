#include "input/reject.hpp"

#include "core/exit_status.hpp"
#include "input/run_files.hpp"

namespace sw {

void rejectInput(rec::OutFile& log, const std::string& message) {
  const std::string line = "input error: " + message;
  log.writeList({std::string_view(line)});
  log.flush();
  throw InputError(message);
}

void rejectDeckValue(rec::OutFile& log, const std::string& message) {
  rejectInput(log, std::string(files::kDeck) + ": " + message);
}

}  // namespace sw

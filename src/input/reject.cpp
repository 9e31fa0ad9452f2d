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

std::string deckLine(int line) {
  return std::string(files::kDeck) + ", line " + std::to_string(line);
}

std::string aboveLimit(const std::string& name, int value, const std::string& what, int limit) {
  return name + " = " + std::to_string(value) + " " + what + " is above the limit of " +
         std::to_string(limit);
}

std::uint64_t inputSizeBound(std::uint64_t records) { return 256 * records + 65536; }

}  // namespace sw

#include "input/reject.hpp"

#include "core/exit_status.hpp"

namespace sw {

void rejectInput(rec::OutFile& log, const std::string& message) {
  const std::string line = "input error: " + message;
  log.writeList({std::string_view(line)});
  log.flush();
  throw InputError(message);
}

std::uint64_t inputSizeBound(std::uint64_t records) { return 256 * records + 65536; }

}  // namespace sw

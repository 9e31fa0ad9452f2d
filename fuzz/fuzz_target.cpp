// libFuzzer entry of one target (see harness.hpp); the build compiles it once per target
// with SW_FUZZ_READ naming the harness routine.

#include <cstdlib>
#include <filesystem>
#include <string>

#include "harness.hpp"

namespace {

std::string gScratch;

void removeScratch() {
  std::error_code ec;
  std::filesystem::remove_all(gScratch, ec);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The input routines work on fixed names in the current directory: a scratch one.
  gScratch = (std::filesystem::temp_directory_path() / "stripwave-fuzz-XXXXXX").string();
  if (mkdtemp(gScratch.data()) == nullptr) std::abort();
  std::filesystem::current_path(gScratch);
  std::atexit(removeScratch);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  sw::fuzz::SW_FUZZ_READ(data, size);
  return 0;
}

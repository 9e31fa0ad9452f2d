#include "support/files.hpp"

#include <unistd.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace sw::test {

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  const auto base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const auto candidate =
        base / ("stripwave-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    if (std::filesystem::create_directory(candidate)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary directory");
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

void writeBytes(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void replaceLine(const std::string& path, int number, const std::string& text) {
  const std::string old = readBytes(path);
  std::string out;
  int line = 1;
  std::size_t pos = 0;
  while (pos < old.size()) {
    std::size_t end = old.find('\n', pos);
    if (end == std::string::npos) end = old.size();
    out += line == number ? text : old.substr(pos, end - pos);
    out += '\n';
    pos = end + 1;
    ++line;
  }
  if (number >= line) throw std::runtime_error(path + " has no line " + std::to_string(number));
  writeBytes(path, out);
}

}  // namespace sw::test

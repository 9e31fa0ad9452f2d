#include "support/files.hpp"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace sw::test {

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  const auto base = fs::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const auto candidate =
        base / ("stripwave-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    if (fs::create_directory(candidate)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary directory");
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

ScratchDir::ScratchDir() : previous_(fs::current_path()) { fs::current_path(path()); }

ScratchDir::~ScratchDir() {
  std::error_code ec;
  fs::current_path(previous_, ec);
}

void writeBytes(const fs::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string readBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path.string());
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    out.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

std::vector<std::string> lastLines(const std::string& text, int n) {
  const std::vector<std::string> all = lines(text);
  const std::size_t k = std::min<std::size_t>(all.size(), static_cast<std::size_t>(n));
  return std::vector<std::string>(all.end() - static_cast<std::ptrdiff_t>(k), all.end());
}

int countOf(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

std::vector<std::string> fileNames(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.is_regular_file()) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

void replaceLine(const fs::path& path, int number, const std::string& text) {
  std::vector<std::string> all = lines(readBytes(path));
  if (number < 1 || number > static_cast<int>(all.size()))
    throw std::runtime_error(path.string() + " has no line " + std::to_string(number));
  all[static_cast<std::size_t>(number - 1)] = text;
  std::string out;
  for (const std::string& l : all) out += l + "\n";
  writeBytes(path, out);
}

}  // namespace sw::test

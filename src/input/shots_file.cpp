#include "input/shots_file.hpp"

#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <utility>

#include "core/exit_status.hpp"
#include "input/placement.hpp"
#include "records/io_error.hpp"
#include "records/out_file.hpp"

namespace sw {

namespace {

constexpr std::array<std::pair<std::string_view, int>, 5> kKinds = {
    {{"explosion", 1},
     {"shear", 2},
     {"asymmetric", 3},
     {"vertical-force", 4},
     {"horizontal-force", 5}}};

/// Longest line read; a longer one is not a shot.
constexpr std::size_t kMaxLine = 1024;

std::string where(const std::string& path, int line) {
  return "shots file " + path + ", line " + std::to_string(line);
}

/// The words of a line, split at blanks and tabs.
std::vector<std::string_view> words(std::string_view text) {
  std::vector<std::string_view> out;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    const std::size_t start = i;
    while (i < text.size() && text[i] != ' ' && text[i] != '\t') ++i;
    if (i > start) out.push_back(text.substr(start, i - start));
  }
  return out;
}

/// A finite number written in full, or nothing.
std::optional<double> number(std::string_view word) {
  double v = 0.0;
  const char* end = word.data() + word.size();
  const auto [ptr, ec] = std::from_chars(word.data(), end, v);
  if (ec != std::errc() || ptr != end || !std::isfinite(v)) return std::nullopt;
  return v;
}

/// Printable text of a word for a message (control bytes escaped, long words cut).
std::string quoted(std::string_view word) {
  constexpr std::size_t kShown = 40;
  std::string out = "'";
  for (std::size_t i = 0; i < word.size() && i < kShown; ++i) {
    const unsigned char c = static_cast<unsigned char>(word[i]);
    if (c < 0x20 || c == 0x7f) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  if (word.size() > kShown) out += "...";
  return out + "'";
}

std::string kindList() {
  std::string out;
  for (const auto& [name, kdel] : kKinds)
    out += (out.empty() ? "" : ", ") + std::string(name) + " (kdel " + std::to_string(kdel) + ")";
  return out;
}

}  // namespace

std::optional<int> sourceKind(std::string_view word) {
  for (const auto& [name, kdel] : kKinds)
    if (word == name || word == std::to_string(kdel)) return kdel;
  return std::nullopt;
}

std::string sourceKindName(int kdel) {
  for (const auto& [name, k] : kKinds)
    if (k == kdel) return std::string(name);
  return "kdel " + std::to_string(kdel);
}

std::vector<Shot> readShotsFile(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0)
    throw rec::IoError("cannot open the shots file " + path + ": " + std::strerror(errno));
  if (!S_ISREG(st.st_mode))
    throw rec::IoError("cannot open the shots file " + path + ": " + rec::fileKind(st.st_mode) +
                       ", not a regular file");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw rec::IoError("cannot open the shots file " + path + ": " + std::strerror(errno));

  std::vector<Shot> shots;
  std::string text;
  int line = 0;
  while (std::getline(in, text)) {
    ++line;
    if (text.size() > kMaxLine)
      throw InputError(where(path, line) + ": longer than " + std::to_string(kMaxLine) +
                       " characters; a shot is \"x y [kind]\"");
    if (!text.empty() && text.back() == '\r') text.pop_back();
    std::string_view content(text);
    if (const std::size_t hash = content.find('#'); hash != std::string_view::npos)
      content = content.substr(0, hash);
    const std::vector<std::string_view> w = words(content);
    if (w.empty()) continue;
    if (w.size() < 2 || w.size() > 3)
      throw InputError(where(path, line) + ": " + std::to_string(w.size()) +
                       (w.size() == 1 ? " word" : " words") +
                       ", expected \"x y [kind]\" (positions in m)");
    Shot s;
    s.line = line;
    const std::optional<double> x = number(w[0]), y = number(w[1]);
    if (!x || !y)
      throw InputError(where(path, line) + ": " + quoted(!x ? w[0] : w[1]) +
                       " is not a finite number; expected \"x y [kind]\" (positions in m)");
    s.x = *x;
    s.y = *y;
    if (w.size() == 3) {
      s.kdel = sourceKind(w[2]);
      if (!s.kdel)
        throw InputError(where(path, line) + ": unknown source kind " + quoted(w[2]) +
                         "; the kinds are " + kindList());
    }
    shots.push_back(s);
  }
  if (in.bad()) throw rec::IoError("cannot read the shots file " + path);
  if (shots.empty())
    throw InputError("shots file " + path + ": no shot (" +
                     (line == 0 ? std::string("the file is empty")
                                : "all " + std::to_string(line) +
                                      " lines are empty or comments") +
                     "); a shot is a line \"x y [kind]\"");
  return shots;
}

void checkShotsInGrid(const std::vector<Shot>& shots, const std::string& path, int nx, int ny,
                      double h) {
  for (const Shot& s : shots) {
    const int j = elementIndex(s.x, h), k = elementIndex(s.y, h);
    if (j < 1 || j > nx || k < 1 || k > ny) {
      char buf[256];
      std::snprintf(buf, sizeof buf,
                    ": the shot at x = %.9g m, y = %.9g m is outside the grid (0 <= x < %.9g m, "
                    "0 <= y < %.9g m: %d by %d elements of %.9g m)",
                    s.x, s.y, nx * h, ny * h, nx, ny, h);
      throw InputError(where(path, s.line) + buf);
    }
  }
}

std::string shotDirectory(int k) {
  std::string digits = std::to_string(k);
  if (digits.size() < 4) digits.insert(0, 4 - digits.size(), '0');
  return "shot_" + digits;
}

}  // namespace sw

#pragma once
/// Scratch directories, whole-file reads and writes, and the text of a file as lines.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "records/io_error.hpp"

namespace sw::test {

namespace fs = std::filesystem;

/// A fresh directory under the system temporary directory, removed with its contents.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const fs::path& path() const { return path_; }
  /// Absolute name of `file` inside the directory.
  std::string file(std::string_view name) const { return (path_ / name).string(); }

 private:
  fs::path path_;
};

/// A fresh directory that is also the working directory while the object lives.
class ScratchDir : public TempDir {
 public:
  ScratchDir();
  ~ScratchDir();

 private:
  fs::path previous_;
};

/// Writes `bytes` to `path` exactly as given.
void writeBytes(const fs::path& path, std::string_view bytes);
/// The whole content of `path`; throws when it cannot be read.
std::string readBytes(const fs::path& path);

/// Lines of a text, each without its newline.
std::vector<std::string> lines(const std::string& text);
/// The last n lines of a text.
std::vector<std::string> lastLines(const std::string& text, int n);

/// How many times `what` stands in `text`, overlaps counted.
int countOf(const std::string& text, const std::string& what);

/// Replaces line `number` (from 1) of the text file `path` with `text`.
void replaceLine(const fs::path& path, int number, const std::string& text);

/// Names of the regular files of a directory, sorted.
std::vector<std::string> fileNames(const fs::path& dir);

/// Absolute path of tests/data.
inline fs::path dataDir() { return STRIPWAVE_TEST_DATA; }

/// The message of the file error raised by `f`, or "no error".
template <class F>
std::string ioErrorOf(F f) {
  try {
    f();
  } catch (const rec::IoError& e) {
    return e.what();
  }
  return "no error";
}

}  // namespace sw::test

#pragma once
/// Scratch directories and small file helpers for tests that touch the file system.

#include <filesystem>
#include <string>
#include <string_view>

namespace sw::test {

/// A fresh directory under the system temporary directory, removed with its contents.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  /// Absolute name of `file` inside the directory.
  std::string file(std::string_view name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

/// Writes `bytes` to `path` exactly as given.
void writeBytes(const std::string& path, std::string_view bytes);
/// The whole content of `path`.
std::string readBytes(const std::string& path);
/// Replaces line `number` (from 1) of the text file `path` with `text`.
void replaceLine(const std::string& path, int number, const std::string& text);

}  // namespace sw::test

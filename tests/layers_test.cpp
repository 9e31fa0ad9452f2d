// The folders of src/ are the layers of the program: a file may include headers of its own
// layer and of the layers before it, never of a later one.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

/// The layers from the bottom up.
const std::vector<std::string> kLayers = {"core", "records", "model", "materials", "input",
                                          "strip", "coupling", "solvers", "output", "app"};

/// Position of a layer, or -1 for a folder that is not one.
int layerOf(const std::string& folder) {
  const auto at = std::find(kLayers.begin(), kLayers.end(), folder);
  return at == kLayers.end() ? -1 : static_cast<int>(at - kLayers.begin());
}

const fs::path kSources = STRIPWAVE_SOURCE_DIR;

TEST(Layers, EveryFolderOfTheSourcesIsALayer) {
  for (const auto& e : fs::directory_iterator(kSources))
    EXPECT_TRUE(e.is_directory() && layerOf(e.path().filename().string()) >= 0)
        << e.path() << " is not one of the layers";
}

TEST(Layers, NoFileIncludesAHeaderOfALaterLayer) {
  std::vector<std::string> faults;
  int files = 0;
  for (const auto& e : fs::recursive_directory_iterator(kSources)) {
    if (!e.is_regular_file()) continue;
    ++files;
    const std::string folder = e.path().parent_path().filename().string();
    const int own = layerOf(folder);
    std::ifstream in(e.path());
    std::string line;
    while (std::getline(in, line)) {
      if (line.rfind("#include \"", 0) != 0) continue;
      const std::string target = line.substr(10, line.find('"', 10) - 10);
      const std::string targetFolder = target.substr(0, target.find('/'));
      const int layer = layerOf(targetFolder);
      if (target.find('/') == std::string::npos || layer < 0 || layer > own)
        faults.push_back(folder + "/" + e.path().filename().string() + " includes " + target);
    }
  }
  EXPECT_GT(files, 0);
  std::string list;
  for (const std::string& f : faults) list += "\n  " + f;
  EXPECT_TRUE(faults.empty()) << "includes of a later layer (or of no layer):" << list;
}

}  // namespace

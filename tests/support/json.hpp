#pragma once
/// The JSON test data: one value per line of a JSON-lines file.

#include <fstream>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/files.hpp"

namespace sw::test {

using Json = nlohmann::json;

/// The values of a JSON-lines file under tests/data, one per non-blank line.
inline std::vector<Json> readJsonLines(const std::string& relative) {
  std::ifstream in(dataDir() / relative, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + relative);
  std::vector<Json> out;
  std::string line;
  while (std::getline(in, line))
    if (line.find_first_not_of(" \t\r") != std::string::npos) out.push_back(Json::parse(line));
  return out;
}

}  // namespace sw::test

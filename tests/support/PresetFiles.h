#pragma once

// The shipped preset files (presets/*.preset), in the order of their names:
// the order the build compiles them into the program list.

#include <algorithm>
#include <filesystem>
#include <vector>

namespace plonktest {

inline std::vector<std::filesystem::path> PresetFiles(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (entry.path().extension() == ".preset") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace plonktest

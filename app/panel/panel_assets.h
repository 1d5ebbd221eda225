#pragma once
// The page's files, built into the program from app/panel/assets/.
#include <string_view>

namespace marlin::panel {

struct Asset {
  std::string_view path;  // "/", "/panel.js", ...
  std::string_view contentType;
  std::string_view body;
};

// Null for a path that is no asset.
const Asset* FindAsset(std::string_view path);

}  // namespace marlin::panel

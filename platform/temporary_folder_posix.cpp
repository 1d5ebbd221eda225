#include <cstdlib>
#include <stdexcept>

#include "platform/temporary_folder.h"

namespace marlin::platform {

std::filesystem::path MakeTemporaryFolder(const std::string& prefix) {
  std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "XXXXXX")).string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("cannot make a temporary folder under " +
                             std::filesystem::temp_directory_path().string());
  }
  return pattern;
}

}  // namespace marlin::platform

#pragma once
// A new folder of the user's own under the system's folder for temporary files.
#include <filesystem>
#include <string>

namespace marlin::platform {

// A folder named `prefix` and a random part, made for this call alone; throws
// std::runtime_error when none can be made.
std::filesystem::path MakeTemporaryFolder(const std::string& prefix);

}  // namespace marlin::platform

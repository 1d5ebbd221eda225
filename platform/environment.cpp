#include "platform/environment.h"

#include <cstdlib>

namespace marlin::platform {

std::optional<std::string> EnvironmentValue(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

}  // namespace marlin::platform

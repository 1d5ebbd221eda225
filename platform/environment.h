#pragma once
// The process environment, read where the host decides what the driver gets.
#include <optional>
#include <string>

namespace marlin::platform {

// The value of `name`; nothing when it is unset.
std::optional<std::string> EnvironmentValue(const std::string& name);

}  // namespace marlin::platform

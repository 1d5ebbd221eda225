#pragma once
// What one host call answered: nothing, a value, or an error with its number and description.
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace marlin::cli {

using ShellValue = std::variant<std::monostate, std::int64_t, double, std::string,
                                std::vector<std::string>, std::vector<std::int32_t>>;

struct ShellError {
  std::int32_t number = 0;
  std::string description;
};

using ShellResult = std::variant<ShellValue, ShellError>;

}  // namespace marlin::cli

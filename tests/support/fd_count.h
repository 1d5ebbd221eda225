#pragma once
#include <cstddef>
#include <filesystem>

namespace marlin::testing {

// File descriptors this process holds now.
inline std::size_t OpenDescriptors() {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++n;
  }
  return n;
}

}  // namespace marlin::testing

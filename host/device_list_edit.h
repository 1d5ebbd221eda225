#pragma once
#include <string>
#include <string_view>

namespace marlin {

// The device list text with the LAN address of `device` set to `address`. Every other byte of
// the text (comments, order, other entries, line ends) stays as it was; the result is checked to
// read back as the old list with only that one value changed.
std::string WithLanAddress(std::string_view text, const std::string& fileName,
                           const std::string& device, const std::string& address);

}  // namespace marlin

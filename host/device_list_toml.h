#pragma once
// What the device-list parser and its editor share: the TOML reading and the error form.
#include <cstdint>
#include <string>
#include <string_view>

#include <toml.hpp>

namespace marlin {

// "Device list "<file>", line <n>, key "<key>": <reason>"; line 0 and an empty key are left out.
[[noreturn]] void DeviceListError(const std::string& fileName, std::uint32_t line,
                                  const std::string& key, const std::string& reason);

// Parses TOML, turning every failure of the parser into a DeviceListError.
toml::value ReadToml(std::string_view text, const std::string& fileName);

}  // namespace marlin

#pragma once
// What the device-list parser and its editor share: the TOML reading and the error form.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <toml.hpp>
#include <unordered_map>

#include "host/device_list.h"
#include "host/plain_toml.h"

namespace marlin {

// "Device list "<file>", line <n>, key "<key>": <reason>"; line 0 and an empty key are left out.
[[noreturn]] void DeviceListError(const std::string& fileName, std::uint32_t line,
                                  const std::string& key, const std::string& reason);

// Where the parser found each value, in bytes and lines of the text it read. The parser's own
// line number counts from the start of the text on every call, which makes a large file
// quadratic; the line starts here are found once.
class TextPlaces {
 public:
  static constexpr std::size_t kNowhere = static_cast<std::size_t>(-1);

  // `known`: places found by a reader that has no regions of its own.
  explicit TextPlaces(std::string_view text,
                      std::unordered_map<const toml::value*, TextSpan> known = {});
  // kNowhere for a value the parser made up (a table that only dotted keys opened).
  std::size_t Offset(const toml::value& value) const;
  std::size_t Length(const toml::value& value) const;
  // 1-based; 0 when unknown.
  std::uint32_t Line(const toml::value& value) const;
  std::uint32_t LineAt(std::size_t offset) const;

 private:
  std::vector<std::size_t> lineStarts_;
  std::unordered_map<const toml::value*, TextSpan> known_;
};

struct TomlDocument {
  toml::value root;
  TextPlaces places;
};

// Reads a list in the plain form directly, any other TOML through the general parser, turning
// every failure of the parser into a DeviceListError.
TomlDocument ReadToml(std::string_view text, const std::string& fileName);

// The list together with the document it was read from, for an editor that needs to know where
// each value stands without reading the text again.
struct DeviceListWithDocument {
  DeviceList list;
  std::shared_ptr<const TomlDocument> document;
};

// As ParseDeviceList, keeping the document.
DeviceListWithDocument ParseDeviceListWithDocument(std::string_view text,
                                                   const std::string& fileName);

}  // namespace marlin

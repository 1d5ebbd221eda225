#pragma once
// What the device-list parser and its editor share: the TOML reading and the error form.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The parser refuses values nested deeper than this, which bounds its recursion on any thread's
// stack. It counts a key's value as 1 and each value inside an array or inline table one deeper:
// one more than the pre-check's limit on brackets (host/toml_precheck.h), so that wherever the
// parser stops for depth, the pre-check names the fault. Every file that reads TOML includes
// the parser through this header.
#define TOML_MAX_NESTED_VALUES 33
#include <toml++/toml.h>

#include "host/device_list.h"

namespace marlin {

// "Device list "<file>", line <n>, key "<key>": <reason>"; line 0 and an empty key are left out.
[[noreturn]] void DeviceListError(const std::string& fileName, std::uint32_t line,
                                  const std::string& key, const std::string& reason);

// Where the parser found each node, as byte offsets into the text it read. The parser counts
// lines and characters; the line starts are found once, so that turning a place into an offset
// costs only the characters before it on its line.
class TextPlaces {
 public:
  static constexpr std::size_t kNowhere = static_cast<std::size_t>(-1);

  explicit TextPlaces(std::string_view text);
  // Where the node begins and where it ends (one past its last byte) in `text`, the text these
  // places were found in; kNowhere for a node without a place.
  std::size_t Begin(std::string_view text, const toml::node& node) const;
  std::size_t End(std::string_view text, const toml::node& node) const;
  // 1-based; 0 when unknown.
  static std::uint32_t Line(const toml::node& node);

 private:
  std::size_t OffsetOf(std::string_view text, const toml::source_position& at) const;

  std::vector<std::size_t> lineStarts_;
};

struct TomlDocument {
  toml::table root;
  TextPlaces places;
};

// Reads TOML, turning every failure of the parser into a DeviceListError.
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

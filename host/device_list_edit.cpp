#include "host/device_list_edit.h"

#include <algorithm>

#include "driver/marlin_error.h"
#include "host/device_list.h"
#include "host/device_list_toml.h"
#include "text/quoted_string.h"

namespace marlin {
namespace {

namespace keys = device_keys;

struct Span {
  std::size_t begin;
  std::size_t end;
};

[[noreturn]] void CannotEdit(const std::string& fileName, const std::string& device,
                             const std::string& why) {
  throw MarlinError(errors::kFileAccess, "Cannot store the LAN address of device \"" + device +
                                             "\" in \"" + fileName + "\": " + why);
}

// Where the parser found `node` in `text`, as byte offsets; past the end when it has no place.
Span SpanOf(std::string_view text, const TextPlaces& places, const toml::node& node) {
  const std::size_t begin = places.Begin(text, node);
  const std::size_t end = places.End(text, node);
  if (begin >= text.size() || end == TextPlaces::kNowhere || end > text.size() || end <= begin) {
    return {text.size() + 1, text.size() + 1};
  }
  return {begin, end};
}

std::string LineEndAt(std::string_view text, std::size_t newline) {
  return newline > 0 && text[newline - 1] == '\r' ? "\r\n" : "\n";
}

// Adds the key as a new line after the last line that belongs to the table's header section.
void AddToHeaderTable(std::string& edited, std::string_view text, const TextPlaces& places,
                      const toml::table& table, Span header, const std::string& assignment) {
  std::size_t last = header.end;
  for (const auto& [key, value] : table) {
    last = std::max(last, SpanOf(text, places, value).end);
  }
  const std::size_t newline = text.find('\n', last);
  if (newline == std::string_view::npos) {
    edited.append("\n" + assignment + "\n");
  } else {
    edited.insert(newline + 1, assignment + LineEndAt(text, newline));
  }
}

// A device table is never empty: it holds at least its interface.
void AddToInlineTable(std::string& edited, std::string_view text, Span braces,
                      const std::string& assignment) {
  std::size_t close = braces.end - 1;
  std::size_t afterLastItem = text.find_last_not_of(" \t", close - 1) + 1;
  edited.insert(afterLastItem, ", " + assignment);
}

}  // namespace

std::string WithLanAddress(std::string_view text, const std::string& fileName,
                           const std::string& device, const std::string& address) {
  return EditLanAddress(text, fileName, device, address).text;
}

EditedList EditLanAddress(std::string_view text, const std::string& fileName,
                          const std::string& device, const std::string& address,
                          const DeviceList* parsed, const TomlDocument* document) {
  DeviceListWithDocument read;
  if (parsed == nullptr || document == nullptr) {
    read = ParseDeviceListWithDocument(text, fileName);
    parsed = &read.list;
    document = read.document.get();
  }
  const auto before = parsed->devices.find(device);
  if (before == parsed->devices.end()) UnknownDeviceError(device, fileName);

  const TextPlaces& places = document->places;
  const toml::node& entry = *document->root[keys::kDevices][device].node();
  const toml::table& table = *entry.as_table();
  const std::string value = text::TomlString(address);
  std::string edited(text);

  if (const toml::node* oldValue = table.get(keys::kLanAddress)) {
    const Span old = SpanOf(text, places, *oldValue);
    if (old.end > text.size() || (text[old.begin] != '"' && text[old.begin] != '\'')) {
      CannotEdit(fileName, device, "the old value was not found where the parser put it");
    }
    edited.replace(old.begin, old.end - old.begin, value);
  } else {
    const Span where = SpanOf(text, places, entry);
    const std::string assignment = std::string(keys::kLanAddress) + " = " + value;
    const char opener = where.end <= text.size() ? text[where.begin] : '\0';
    if (opener == '[') {
      AddToHeaderTable(edited, text, places, table, where, assignment);
    } else if (opener == '{' && text[where.end - 1] == '}') {
      AddToInlineTable(edited, text, where, assignment);
    } else {
      DeviceListError(fileName, TextPlaces::Line(entry), KeyPath({keys::kDevices, device}),
                      "the device is written with dotted keys; write it as a [" +
                          KeyPath({keys::kDevices, device}) +
                          "] table so that its LAN address can be added");
    }
  }

  DeviceListWithDocument after;
  bool readsBack = false;
  try {
    after = ParseDeviceListWithDocument(edited, fileName);
    // Compared with the old address put back, so that the old list need not be copied.
    auto changed = after.list.devices.find(device);
    if (changed != after.list.devices.end() && changed->second.lanAddress == address) {
      changed->second.lanAddress = before->second.lanAddress;
      readsBack = after.list == *parsed;
      changed->second.lanAddress = address;
    }
  } catch (const MarlinError&) {
    readsBack = false;
  }
  if (!readsBack) CannotEdit(fileName, device, "the edited list would not read back as intended");
  return {std::move(edited), std::move(after.list), std::move(after.document)};
}

}  // namespace marlin

#include "host/device_list.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <sstream>
#include <tuple>
#include <utility>
#include <vector>

#include "driver/marlin_error.h"
#include "driver/records.h"
#include "host/device_list_toml.h"
#include "host/host_errors.h"
#include "host/printable_text.h"
#include "host/toml_precheck.h"

namespace marlin {
namespace {

namespace keys = device_keys;

constexpr std::int32_t kLowestGpibAddress = 0;
constexpr std::int32_t kHighestGpibAddress = 30;

bool IsRoute(std::int32_t code) {
  return route::IsGpib(code) || code == route::kLan || code == route::kVisa;
}

bool IsBareKey(std::string_view key) {
  return !key.empty() && std::all_of(key.begin(), key.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-';
  });
}

// The first line of a toml11 message without its "[error] toml::function: " decoration.
std::string ParserReason(const char* what) {
  std::string reason(what);
  reason = reason.substr(0, reason.find('\n'));
  const std::string error = "[error] ";
  if (reason.rfind(error, 0) == 0) reason.erase(0, error.size());
  if (reason.rfind("toml::", 0) == 0) {
    auto colon = reason.find(": ");
    if (colon != std::string::npos) reason.erase(0, colon + 2);
  }
  return reason;
}

std::string Trimmed(std::string_view s) {
  auto first = s.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  auto last = s.find_last_not_of(" \t\r");
  return std::string(s.substr(first, last - first + 1));
}

// The key a failing line is about: the left side of "key = value", or the name in "[table]".
std::string KeyOnLine(const std::string& line) {
  constexpr std::size_t kLongest = 60;
  const std::string t = Trimmed(line);
  std::string key;
  if (!t.empty() && t.front() == '[') {
    const auto first = t.find_first_not_of('[');
    if (first != std::string::npos)
      key = Trimmed(std::string_view(t).substr(first, t.find(']', first) - first));
  } else if (!t.empty() && t.front() != '#') {
    const auto eq = t.find('=');
    if (eq != std::string::npos) key = Trimmed(std::string_view(t).substr(0, eq));
  }
  return key.size() > kLongest ? key.substr(0, kLongest) + "..." : key;
}

std::string LineOf(std::string_view text, std::uint32_t line) {
  std::size_t begin = 0;
  for (std::uint32_t l = 1; l < line && begin != std::string_view::npos; ++l) {
    begin = text.find('\n', begin);
    if (begin != std::string_view::npos) ++begin;
  }
  if (begin == std::string_view::npos) return {};
  return std::string(text.substr(begin, text.find('\n', begin) - begin));
}

const char* TypeName(const toml::value& v) {
  switch (v.type()) {
    case toml::value_t::boolean:
      return "a boolean";
    case toml::value_t::integer:
      return "an integer";
    case toml::value_t::floating:
      return "a float";
    case toml::value_t::string:
      return "a string";
    case toml::value_t::array:
      return "an array";
    case toml::value_t::table:
      return "a table";
    case toml::value_t::empty:
      return "nothing";
    default:
      return "a date or time";
  }
}

using Path = std::initializer_list<std::string_view>;

class Checker {
 public:
  Checker(const std::string& fileName, const TextPlaces& places)
      : file_(fileName), places_(places) {}

  [[noreturn]] void Fail(const toml::value& at, const std::string& key,
                         const std::string& reason) const {
    DeviceListError(file_, places_.Line(at), key, reason);
  }
  // The key path is written out only for a fault: most values have none.
  [[noreturn]] void Fail(const toml::value& at, Path key, const std::string& reason) const {
    Fail(at, KeyPath(key), reason);
  }

  std::uint32_t Line(const toml::value& v) const { return places_.Line(v); }

  // Rejects the key of `table` that the file names first among those not in `known`.
  template <class Known>
  void OnlyKnownKeys(const toml::value& table, Path prefix, const Known& known) const {
    const toml::value* first = nullptr;
    std::string firstKey;
    for (const auto& [key, value] : table.as_table()) {
      if (std::find(known.begin(), known.end(), key) != known.end()) continue;
      if (!first || Line(value) < Line(*first)) {
        first = &value;
        firstKey = key;
      }
    }
    if (!first) return;
    std::string expected;
    for (const auto& k : known) expected += (expected.empty() ? "" : ", ") + std::string(k);
    std::vector<std::string_view> path(prefix);
    path.push_back(firstKey);
    Fail(*first, Join(path), "unknown key (expected one of: " + expected + ")");
  }

  void MustBeTable(const toml::value& v, Path key) const {
    if (!v.is_table()) Fail(v, key, std::string("expected a table, found ") + TypeName(v));
  }

  std::int32_t Int32(const toml::value& v, Path key) const {
    if (!v.is_integer()) Fail(v, key, std::string("expected an integer, found ") + TypeName(v));
    const auto n = v.as_integer();
    if (n < std::numeric_limits<std::int32_t>::min() ||
        n > std::numeric_limits<std::int32_t>::max()) {
      Fail(v, key, "the value " + std::to_string(n) + " does not fit in 32 bits");
    }
    return static_cast<std::int32_t>(n);
  }

  std::string Text(const toml::value& v, Path key) const {
    if (!v.is_string()) Fail(v, key, std::string("expected a string, found ") + TypeName(v));
    return v.as_string().str;
  }

  double Frequency(const toml::value& v, Path key) const {
    double hz = 0;
    if (v.is_integer()) {
      hz = static_cast<double>(v.as_integer());
    } else if (v.is_floating()) {
      hz = v.as_floating();
    } else {
      Fail(v, key, std::string("expected a frequency in Hz, found ") + TypeName(v));
    }
    if (!std::isfinite(hz) || hz < 0) Fail(v, key, "a frequency must be a finite number >= 0 Hz");
    return hz;
  }

  static std::string Join(const std::vector<std::string_view>& path) {
    std::string out;
    for (auto segment : path) {
      if (!out.empty()) out += '.';
      out += KeyPath({segment});
    }
    return out;
  }

 private:
  const std::string& file_;
  const TextPlaces& places_;
};

// Items in the order the file writes them, so the first fault in the file is the one reported.
std::vector<const toml::table::value_type*> InFileOrder(const Checker& check,
                                                        const toml::value& table) {
  std::vector<std::pair<std::uint32_t, const toml::table::value_type*>> lined;
  lined.reserve(table.as_table().size());
  for (const auto& item : table.as_table()) lined.emplace_back(check.Line(item.second), &item);
  std::sort(lined.begin(), lined.end(), [](const auto& a, const auto& b) {
    return a.first != b.first ? a.first < b.first : a.second->first < b.second->first;
  });
  std::vector<const toml::table::value_type*> items;
  items.reserve(lined.size());
  for (const auto& [line, item] : lined) items.push_back(item);
  return items;
}

HostSettings ReadHost(const Checker& check, const toml::value& host) {
  static constexpr std::array<std::string_view, 2> kKnown{keys::kLowestFrequency,
                                                          keys::kHighestFrequency};
  check.MustBeTable(host, {keys::kHost});
  check.OnlyKnownKeys(host, {keys::kHost}, kKnown);
  HostSettings settings;
  const auto& table = host.as_table();
  if (auto it = table.find(keys::kLowestFrequency); it != table.end()) {
    settings.lowestFrequency = check.Frequency(it->second, {keys::kHost, keys::kLowestFrequency});
  }
  if (auto it = table.find(keys::kHighestFrequency); it != table.end()) {
    settings.highestFrequency = check.Frequency(it->second, {keys::kHost, keys::kHighestFrequency});
  }
  if (settings.lowestFrequency > settings.highestFrequency) {
    auto it = table.find(keys::kLowestFrequency);
    check.Fail(it != table.end() ? it->second : host,
               KeyPath({keys::kHost, keys::kLowestFrequency}),
               "the lowest frequency is above the highest frequency");
  }
  return settings;
}

std::map<int, std::string> ReadGpib(const Checker& check, const toml::value& gpib) {
  check.MustBeTable(gpib, {keys::kGpib});
  std::vector<std::string> boards;
  boards.reserve(kGpibBoardCount);
  for (int b = 0; b < kGpibBoardCount; ++b)
    boards.push_back(keys::kBoardPrefix + std::to_string(b));
  check.OnlyKnownKeys(gpib, {keys::kGpib}, boards);
  std::map<int, std::string> backends;
  for (const auto* item : InFileOrder(check, gpib)) {
    const auto& [key, value] = *item;
    std::string backend = check.Text(value, {keys::kGpib, key});
    if (backend.empty()) check.Fail(value, {keys::kGpib, key}, "the GPIB backend text is empty");
    backends[key.back() - '0'] = std::move(backend);
  }
  return backends;
}

DeviceEntry ReadDevice(const Checker& check, const std::string& name, const toml::value& device) {
  static constexpr std::array<std::string_view, 5> kKnown{
      keys::kInterface, keys::kAddress, keys::kLanAddress, keys::kVisaResource, keys::kDescription};
  check.MustBeTable(device, {keys::kDevices, name});
  check.OnlyKnownKeys(device, {keys::kDevices, name}, kKnown);
  DeviceEntry entry;
  bool hasInterface = false;
  for (const auto* item : InFileOrder(check, device)) {
    const auto& [key, value] = *item;
    const Path path{keys::kDevices, name, key};
    if (key == keys::kInterface) {
      entry.interfaceCode = check.Int32(value, path);
      hasInterface = true;
      if (!IsRoute(entry.interfaceCode)) {
        check.Fail(value, path,
                   "interface " + std::to_string(entry.interfaceCode) +
                       " is no route; expected 10 to 13 (GPIB board 0 to 3), 50 (LAN socket) or "
                       "60 (VISA raw socket)");
      }
    } else if (key == keys::kAddress) {
      entry.address = check.Int32(value, path);
      if (entry.address < kLowestGpibAddress || entry.address > kHighestGpibAddress) {
        check.Fail(value, path,
                   "GPIB address " + std::to_string(entry.address) + " is outside " +
                       std::to_string(kLowestGpibAddress) + " to " +
                       std::to_string(kHighestGpibAddress));
      }
    } else if (key == keys::kLanAddress) {
      entry.lanAddress = check.Text(value, path);
    } else if (key == keys::kVisaResource) {
      entry.visaResource = check.Text(value, path);
    } else {
      entry.description = check.Text(value, path);
    }
  }
  if (!hasInterface) {
    check.Fail(device, KeyPath({keys::kDevices, name, keys::kInterface}),
               "the key is missing; every device needs its interface (10 to 13 GPIB, 50 LAN, "
               "60 VISA)");
  }
  return entry;
}

}  // namespace

TextPlaces::TextPlaces(std::string_view text,
                       std::unordered_map<const toml::value*, TextSpan> known)
    : known_(std::move(known)) {
  lineStarts_.push_back(0);
  for (std::size_t at = text.find('\n'); at != std::string_view::npos; at = text.find('\n', at + 1))
    lineStarts_.push_back(at + 1);
}

std::size_t TextPlaces::Offset(const toml::value& value) const {
  if (auto it = known_.find(&value); it != known_.end()) return it->second.offset;
  const auto* region = dynamic_cast<const toml::detail::region*>(toml::detail::get_region(value));
  if (region == nullptr || !region->is_ok()) return kNowhere;
  return static_cast<std::size_t>(region->first() - region->begin());
}

std::size_t TextPlaces::Length(const toml::value& value) const {
  if (auto it = known_.find(&value); it != known_.end()) return it->second.length;
  const auto* region = dynamic_cast<const toml::detail::region*>(toml::detail::get_region(value));
  return region == nullptr || !region->is_ok() ? 0 : region->size();
}

std::uint32_t TextPlaces::LineAt(std::size_t offset) const {
  if (offset == kNowhere) return 0;
  const auto next = std::upper_bound(lineStarts_.begin(), lineStarts_.end(), offset);
  return static_cast<std::uint32_t>(next - lineStarts_.begin());
}

std::uint32_t TextPlaces::Line(const toml::value& value) const { return LineAt(Offset(value)); }

[[noreturn]] void DeviceListError(const std::string& fileName, std::uint32_t line,
                                  const std::string& key, const std::string& reason) {
  std::string text = "Device list \"" + fileName + "\"";
  if (line > 0) text += ", line " + std::to_string(line);
  if (!key.empty()) text += ", key \"" + key + "\"";
  throw MarlinError(host_errors::kBadDeviceList, text + ": " + reason);
}

TomlDocument ReadToml(std::string_view text, const std::string& fileName) {
  if (auto plain = ReadPlainToml(text)) {
    return TomlDocument{std::move(plain->root), TextPlaces(text, std::move(plain->places))};
  }
  if (auto fault = PrecheckToml(text)) {
    DeviceListError(fileName, fault->line, KeyOnLine(LineOf(text, fault->line)), fault->reason);
  }
  std::istringstream in{std::string(text)};
  try {
    return TomlDocument{toml::parse(in, fileName), TextPlaces(text)};
  } catch (const toml::exception& e) {
    DeviceListError(fileName, e.location().line(), KeyOnLine(e.location().line_str()),
                    ParserReason(e.what()));
  } catch (const std::exception& e) {
    DeviceListError(fileName, 0, {}, ParserReason(e.what()));
  }
}

[[noreturn]] void UnknownDeviceError(const std::string& device, const std::string& fileName) {
  throw MarlinError(
      host_errors::kUnknownDevice,
      "Device \"" + Capped(device) + "\" is not in the device list \"" + fileName + "\"");
}

std::string KeyPath(std::initializer_list<std::string_view> segments) {
  std::string out;
  for (auto segment : segments) {
    if (!out.empty()) out += '.';
    if (IsBareKey(segment)) {
      out += segment;
      continue;
    }
    out += '"';
    for (char c : segment) {
      if (c == '"' || c == '\\') out += '\\';
      out += c;
    }
    out += '"';
  }
  return out;
}

DeviceList ParseDeviceList(std::string_view text, const std::string& fileName) {
  return ParseDeviceListWithDocument(text, fileName).list;
}

DeviceListWithDocument ParseDeviceListWithDocument(std::string_view text,
                                                   const std::string& fileName) {
  if (text.size() > kLargestDeviceList) {
    DeviceListError(fileName, 0, {},
                    "the file is larger than " + std::to_string(kLargestDeviceList) + " bytes");
  }
  auto document = std::make_shared<const TomlDocument>(ReadToml(text, fileName));
  const toml::value& root = document->root;
  const Checker check(fileName, document->places);
  static constexpr std::array<std::string_view, 3> kKnown{keys::kHost, keys::kGpib, keys::kDevices};
  check.OnlyKnownKeys(root, {}, kKnown);

  DeviceList list;
  const auto& table = root.as_table();
  if (auto it = table.find(keys::kHost); it != table.end()) list.host = ReadHost(check, it->second);
  if (auto it = table.find(keys::kGpib); it != table.end()) {
    list.gpibBackends = ReadGpib(check, it->second);
  }
  if (auto it = table.find(keys::kDevices); it != table.end()) {
    check.MustBeTable(it->second, {keys::kDevices});
    for (const auto* item : InFileOrder(check, it->second)) {
      list.devices.emplace_hint(list.devices.end(), item->first,
                                ReadDevice(check, item->first, item->second));
    }
  }
  return {std::move(list), std::move(document)};
}

}  // namespace marlin

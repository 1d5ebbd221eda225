#include "host/device_list.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <tuple>
#include <utility>
#include <vector>

#include "driver/marlin_error.h"
#include "driver/records.h"
#include "host/device_list_toml.h"
#include "host/host_errors.h"
#include "host/printable_text.h"
#include "host/toml_mask.h"
#include "host/toml_precheck.h"
#include "text/utf8.h"

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

const char* TypeName(const toml::node& v) {
  switch (v.type()) {
    case toml::node_type::boolean:
      return "a boolean";
    case toml::node_type::integer:
      return "an integer";
    case toml::node_type::floating_point:
      return "a float";
    case toml::node_type::string:
      return "a string";
    case toml::node_type::array:
      return "an array";
    case toml::node_type::table:
      return "a table";
    case toml::node_type::none:
      return "nothing";
    default:
      return "a date or time";
  }
}

using Path = std::initializer_list<std::string_view>;

class Checker {
 public:
  explicit Checker(const std::string& fileName) : file_(fileName) {}

  [[noreturn]] void Fail(const toml::node& at, const std::string& key,
                         const std::string& reason) const {
    DeviceListError(file_, TextPlaces::Line(at), key, reason);
  }
  // The key path is written out only for a fault: most values have none.
  [[noreturn]] void Fail(const toml::node& at, Path key, const std::string& reason) const {
    Fail(at, KeyPath(key), reason);
  }

  static std::uint32_t Line(const toml::node& v) { return TextPlaces::Line(v); }

  // Rejects the key of `table` that the file names first among those not in `known`.
  template <class Known>
  void OnlyKnownKeys(const toml::table& table, Path prefix, const Known& known) const {
    const toml::node* first = nullptr;
    std::string_view firstKey;
    for (const auto& [key, value] : table) {
      if (std::find(known.begin(), known.end(), key.str()) != known.end()) continue;
      if (!first || Line(value) < Line(*first)) {
        first = &value;
        firstKey = key.str();
      }
    }
    if (!first) return;
    std::string expected;
    for (const auto& k : known) expected += (expected.empty() ? "" : ", ") + std::string(k);
    std::vector<std::string_view> path(prefix);
    path.push_back(firstKey);
    Fail(*first, Join(path), "unknown key (expected one of: " + expected + ")");
  }

  const toml::table& MustBeTable(const toml::node& v, Path key) const {
    if (!v.is_table()) Fail(v, key, std::string("expected a table, found ") + TypeName(v));
    return *v.as_table();
  }

  std::int32_t Int32(const toml::node& v, Path key) const {
    if (!v.is_integer()) Fail(v, key, std::string("expected an integer, found ") + TypeName(v));
    const std::int64_t n = v.as_integer()->get();
    if (n < std::numeric_limits<std::int32_t>::min() ||
        n > std::numeric_limits<std::int32_t>::max()) {
      Fail(v, key, "the value " + std::to_string(n) + " does not fit in 32 bits");
    }
    return static_cast<std::int32_t>(n);
  }

  std::string Text(const toml::node& v, Path key) const {
    if (!v.is_string()) Fail(v, key, std::string("expected a string, found ") + TypeName(v));
    return v.as_string()->get();
  }

  double Frequency(const toml::node& v, Path key) const {
    double hz = 0;
    if (v.is_integer()) {
      hz = static_cast<double>(v.as_integer()->get());
    } else if (v.is_floating_point()) {
      hz = v.as_floating_point()->get();
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
};

struct Item {
  std::string_view key;
  const toml::node* value;
};

// Items in the order the file writes them, so the first fault in the file is the one reported.
std::vector<Item> InFileOrder(const toml::table& table) {
  std::vector<std::pair<std::uint32_t, Item>> lined;
  lined.reserve(table.size());
  for (const auto& [key, value] : table) {
    lined.emplace_back(Checker::Line(value), Item{key.str(), &value});
  }
  std::sort(lined.begin(), lined.end(), [](const auto& a, const auto& b) {
    return a.first != b.first ? a.first < b.first : a.second.key < b.second.key;
  });
  std::vector<Item> items;
  items.reserve(lined.size());
  for (const auto& [line, item] : lined) items.push_back(item);
  return items;
}

HostSettings ReadHost(const Checker& check, const toml::node& host) {
  static constexpr std::array<std::string_view, 2> kKnown{keys::kLowestFrequency,
                                                          keys::kHighestFrequency};
  const toml::table& table = check.MustBeTable(host, {keys::kHost});
  check.OnlyKnownKeys(table, {keys::kHost}, kKnown);
  HostSettings settings;
  const toml::node* lowest = table.get(keys::kLowestFrequency);
  if (lowest != nullptr) {
    settings.lowestFrequency = check.Frequency(*lowest, {keys::kHost, keys::kLowestFrequency});
  }
  if (const toml::node* highest = table.get(keys::kHighestFrequency)) {
    settings.highestFrequency = check.Frequency(*highest, {keys::kHost, keys::kHighestFrequency});
  }
  if (settings.lowestFrequency > settings.highestFrequency) {
    check.Fail(lowest != nullptr ? *lowest : host, KeyPath({keys::kHost, keys::kLowestFrequency}),
               "the lowest frequency is above the highest frequency");
  }
  return settings;
}

std::map<int, std::string> ReadGpib(const Checker& check, const toml::node& gpib) {
  const toml::table& table = check.MustBeTable(gpib, {keys::kGpib});
  std::vector<std::string> boards;
  boards.reserve(kGpibBoardCount);
  for (int b = 0; b < kGpibBoardCount; ++b)
    boards.push_back(keys::kBoardPrefix + std::to_string(b));
  check.OnlyKnownKeys(table, {keys::kGpib}, boards);
  std::map<int, std::string> backends;
  for (const auto& [key, value] : InFileOrder(table)) {
    std::string backend = check.Text(*value, {keys::kGpib, key});
    if (backend.empty()) check.Fail(*value, {keys::kGpib, key}, "the GPIB backend text is empty");
    backends[key.back() - '0'] = std::move(backend);
  }
  return backends;
}

DeviceEntry ReadDevice(const Checker& check, std::string_view name, const toml::node& device) {
  static constexpr std::array<std::string_view, 5> kKnown{
      keys::kInterface, keys::kAddress, keys::kLanAddress, keys::kVisaResource, keys::kDescription};
  const toml::table& table = check.MustBeTable(device, {keys::kDevices, name});
  check.OnlyKnownKeys(table, {keys::kDevices, name}, kKnown);
  DeviceEntry entry;
  bool hasInterface = false;
  for (const auto& [key, node] : InFileOrder(table)) {
    const toml::node& value = *node;
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

TextPlaces::TextPlaces(std::string_view text) {
  // The parser skips a byte order mark without counting it as a column.
  lineStarts_.push_back(
      text.substr(0, kByteOrderMark.size()) == kByteOrderMark ? kByteOrderMark.size() : 0);
  for (std::size_t at = text.find('\n'); at != std::string_view::npos; at = text.find('\n', at + 1))
    lineStarts_.push_back(at + 1);
}

std::size_t TextPlaces::OffsetOf(std::string_view text, const toml::source_position& at) const {
  if (at.line == 0 || at.line > lineStarts_.size() || at.column == 0) return kNowhere;
  std::size_t offset = lineStarts_[at.line - 1];
  // Columns count characters: step over each one's UTF-8 sequence (the text was found valid).
  for (toml::source_index column = 1; column < at.column && offset < text.size(); ++column) {
    offset += std::max<std::size_t>(1, text::Utf8SequenceLength(text, offset));
  }
  return offset;
}

std::size_t TextPlaces::Begin(std::string_view text, const toml::node& node) const {
  return OffsetOf(text, node.source().begin);
}

std::size_t TextPlaces::End(std::string_view text, const toml::node& node) const {
  return OffsetOf(text, node.source().end);
}

std::uint32_t TextPlaces::Line(const toml::node& node) {
  return static_cast<std::uint32_t>(node.source().begin.line);
}

[[noreturn]] void DeviceListError(const std::string& fileName, std::uint32_t line,
                                  const std::string& key, const std::string& reason) {
  std::string text = "Device list \"" + fileName + "\"";
  if (line > 0) text += ", line " + std::to_string(line);
  if (!key.empty()) text += ", key \"" + key + "\"";
  throw MarlinError(host_errors::kBadDeviceList, text + ": " + reason);
}

// The parser's limit counts the value itself, the pre-check only the brackets around it.
static_assert(TOML_MAX_NESTED_VALUES == kDeepestNesting + 1);

namespace {

bool IsAscii(std::string_view text) {
  unsigned char any = 0;
  for (const char c : text) any |= static_cast<unsigned char>(c);
  return any < 0x80;
}

void RefuseWhatThePrecheckFinds(std::string_view text, const std::string& fileName) {
  if (auto fault = PrecheckToml(text)) {
    DeviceListError(fileName, fault->line, KeyOnLine(LineOf(text, fault->line)), fault->reason);
  }
}

// `parsed` is `text`, or `text` masked (host/toml_mask.h): the same lines and characters.
toml::table Parse(std::string_view parsed, std::string_view text, const std::string& fileName) {
  try {
    // Without a source path: the parser would give every node a share of it.
    return toml::parse(parsed);
  } catch (const toml::parse_error& e) {
    // Values nested too deep fail the parser too; the check names the depth.
    RefuseWhatThePrecheckFinds(text, fileName);
    const auto line = static_cast<std::uint32_t>(e.source().begin.line);
    std::string reason = Unmasked(e.description());
    // It follows a colon in our message: "Error while parsing ..." becomes "error while ...".
    if (!reason.empty() && reason.front() >= 'A' && reason.front() <= 'Z')
      reason.front() += 'a' - 'A';
    DeviceListError(fileName, line, KeyOnLine(LineOf(text, line)), reason);
  }
}

}  // namespace

TomlDocument ReadToml(std::string_view text, const std::string& fileName) {
  // Beyond ASCII, some characters would lead the parser into undefined behaviour in a faulty
  // file (host/toml_mask.h): the text is checked, and read masked first.
  if (!IsAscii(text)) {
    RefuseWhatThePrecheckFinds(text, fileName);
    if (auto masked = MaskForTomlParser(text)) {
      if (masked->clash != 0) {
        DeviceListError(fileName, masked->clashLine, KeyOnLine(LineOf(text, masked->clashLine)),
                        "the private-use character " + CodePointName(masked->clash) +
                            " cannot be read in this list, where it could stand for " +
                            CodePointName(masked->clash - kTomlMaskOffset));
      }
      Parse(masked->text, text, fileName);  // only for its faults
    }
  }
  return TomlDocument{Parse(text, text, fileName), TextPlaces(text)};
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
  const toml::table& root = document->root;
  const Checker check(fileName);
  static constexpr std::array<std::string_view, 3> kKnown{keys::kHost, keys::kGpib, keys::kDevices};
  check.OnlyKnownKeys(root, {}, kKnown);

  DeviceList list;
  if (const toml::node* host = root.get(keys::kHost)) list.host = ReadHost(check, *host);
  if (const toml::node* gpib = root.get(keys::kGpib)) list.gpibBackends = ReadGpib(check, *gpib);
  if (const toml::node* devices = root.get(keys::kDevices)) {
    for (const auto& [name, device] : InFileOrder(check.MustBeTable(*devices, {keys::kDevices}))) {
      list.devices.emplace(name, ReadDevice(check, name, *device));
    }
  }
  return {std::move(list), std::move(document)};
}

}  // namespace marlin

#include "app/shell_syntax.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <optional>
#include <vector>

namespace marlin::cli {
namespace {

enum class Shape { None, RestOfLine, Integer, Property, BandParams };

struct VerbSpec {
  std::string_view word;
  ShellVerb verb;
  Shape shape;
  std::string_view synopsis;
};

constexpr std::array kVerbs{
    VerbSpec{"new", ShellVerb::New, Shape::None, "new"},
    VerbSpec{"release", ShellVerb::Release, Shape::None, "release"},
    VerbSpec{"name", ShellVerb::Name, Shape::RestOfLine, "name <text>"},
    VerbSpec{"status", ShellVerb::Status, Shape::Integer, "status <n>"},
    VerbSpec{"check", ShellVerb::Check, Shape::None, "check"},
    VerbSpec{"initialize", ShellVerb::Initialize, Shape::None, "initialize"},
    VerbSpec{"get", ShellVerb::Get, Shape::Property,
             "get <name|description|devicetype|interface|address|status|info|maxfrequency|"
             "minfrequency>"},
    VerbSpec{"interfaces", ShellVerb::Interfaces, Shape::RestOfLine, "interfaces <text>"},
    VerbSpec{"amplparams", ShellVerb::AmplParams, Shape::BandParams,
             "amplparams bandpath=<n> outputmode=<n> operatingclass=<n>"},
    VerbSpec{"setstate", ShellVerb::SetState, Shape::Integer, "setstate <n>"},
    VerbSpec{"getstate", ShellVerb::GetState, Shape::None, "getstate"},
    VerbSpec{"resetfault", ShellVerb::ResetFault, Shape::None, "resetfault"},
    VerbSpec{"checkforerror", ShellVerb::CheckForError, Shape::None, "checkforerror"},
    VerbSpec{"params", ShellVerb::Params, Shape::None, "params"},
    VerbSpec{"quit", ShellVerb::Quit, Shape::None, "quit"},
};

struct PropertySpec {
  std::string_view word;
  DeviceProperty property;
};

constexpr std::array kProperties{
    PropertySpec{"name", DeviceProperty::Name},
    PropertySpec{"description", DeviceProperty::Description},
    PropertySpec{"devicetype", DeviceProperty::DeviceType},
    PropertySpec{"interface", DeviceProperty::Interface},
    PropertySpec{"address", DeviceProperty::Address},
    PropertySpec{"status", DeviceProperty::Status},
    PropertySpec{"info", DeviceProperty::Info},
    PropertySpec{"maxfrequency", DeviceProperty::MaxFrequency},
    PropertySpec{"minfrequency", DeviceProperty::MinFrequency},
};

constexpr std::string_view kBandPathKey = "bandpath";
constexpr std::string_view kOutputModeKey = "outputmode";
constexpr std::string_view kOperatingClassKey = "operatingclass";
// Echoed user text is cut here, so an error line stays readable.
constexpr std::size_t kLongestEcho = 40;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Quoted(std::string_view text) {
  if (text.size() > kLongestEcho) return "\"" + std::string(text.substr(0, kLongestEcho)) + "...\"";
  return "\"" + std::string(text) + "\"";
}

std::vector<std::string_view> Words(std::string_view text) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsBlank(text[i])) ++i;
    const std::size_t start = i;
    while (i < text.size() && !IsBlank(text[i])) ++i;
    if (i > start) words.push_back(text.substr(start, i - start));
  }
  return words;
}

// A whole number in the 32-bit range, or why not.
std::variant<std::int32_t, std::string> WholeNumber(std::string_view word) {
  std::string_view digits = word;
  if (digits.size() > 1 && digits[0] == '+' && digits[1] != '-') digits.remove_prefix(1);
  std::int64_t value = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (ec == std::errc::invalid_argument || end != digits.data() + digits.size()) {
    return "expected a whole number, not " + Quoted(word);
  }
  if (ec == std::errc::result_out_of_range || value < INT32_MIN || value > INT32_MAX) {
    return Quoted(word) + " is outside the 32-bit range";
  }
  return static_cast<std::int32_t>(value);
}

SyntaxError Wrong(const VerbSpec& spec, const std::string& why) {
  return {std::string(spec.word) + ": " + why + " (usage: " + std::string(spec.synopsis) + ")"};
}

ParsedLine ParseBandParams(const VerbSpec& spec, const std::vector<std::string_view>& words) {
  struct Slot {
    std::string_view key;
    std::int32_t BandParams::*member;
    bool seen = false;
  };
  std::array slots{Slot{kBandPathKey, &BandParams::bandPath},
                   Slot{kOutputModeKey, &BandParams::outputMode},
                   Slot{kOperatingClassKey, &BandParams::operatingClass}};
  ShellCommand command;
  command.verb = spec.verb;
  for (std::string_view word : words) {
    const std::size_t equals = word.find('=');
    if (equals == std::string_view::npos)
      return Wrong(spec, "expected key=value, not " + Quoted(word));
    const std::string_view key = word.substr(0, equals);
    Slot* slot = nullptr;
    for (Slot& s : slots) {
      if (s.key == key) slot = &s;
    }
    if (!slot) return Wrong(spec, "unknown key " + Quoted(key));
    if (slot->seen) return Wrong(spec, std::string(key) + " is given twice");
    const auto number = WholeNumber(word.substr(equals + 1));
    if (const auto* why = std::get_if<std::string>(&number)) {
      return Wrong(spec, std::string(key) + ": " + *why);
    }
    command.params.*(slot->member) = std::get<std::int32_t>(number);
    slot->seen = true;
  }
  for (const Slot& s : slots) {
    if (!s.seen) return Wrong(spec, std::string(s.key) + " is missing");
  }
  return command;
}

ParsedLine ParseArguments(const VerbSpec& spec, std::string_view rest) {
  ShellCommand command;
  command.verb = spec.verb;
  const std::vector<std::string_view> words = Words(rest);
  switch (spec.shape) {
    case Shape::None:
      if (!words.empty()) return Wrong(spec, "takes no argument");
      return command;
    case Shape::RestOfLine:
      // Everything after the one blank that ends the command word, blanks included.
      command.text = std::string(rest.empty() ? rest : rest.substr(1));
      return command;
    case Shape::Integer: {
      if (words.size() != 1) return Wrong(spec, "takes one whole number");
      const auto number = WholeNumber(words.front());
      if (const auto* why = std::get_if<std::string>(&number)) return Wrong(spec, *why);
      command.number = std::get<std::int32_t>(number);
      return command;
    }
    case Shape::Property:
      if (words.size() != 1) return Wrong(spec, "takes one property name");
      for (const PropertySpec& p : kProperties) {
        if (p.word == words.front()) {
          command.property = p.property;
          return command;
        }
      }
      return Wrong(spec, "unknown property " + Quoted(words.front()));
    case Shape::BandParams:
      return ParseBandParams(spec, words);
  }
  return Wrong(spec, "cannot be parsed");
}

}  // namespace

ParsedLine ParseShellLine(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.size() > kLongestShellLine) {
    return SyntaxError{"the line is longer than " + std::to_string(kLongestShellLine) + " bytes"};
  }
  std::size_t start = 0;
  while (start < line.size() && IsBlank(line[start])) ++start;
  if (start == line.size()) return EmptyLine{};
  std::size_t end = start;
  while (end < line.size() && !IsBlank(line[end])) ++end;
  const std::string_view word = line.substr(start, end - start);
  for (const VerbSpec& spec : kVerbs) {
    if (spec.word == word) return ParseArguments(spec, line.substr(end));
  }
  std::string known;
  for (const VerbSpec& spec : kVerbs) known += (known.empty() ? "" : ", ") + std::string(spec.word);
  return SyntaxError{"unknown command " + Quoted(word) + "; commands: " + known};
}

std::string ShellCommandSummary() {
  std::string summary;
  for (const VerbSpec& spec : kVerbs) summary += "  " + std::string(spec.synopsis) + "\n";
  return summary;
}

}  // namespace marlin::cli

#pragma once
// The host console's command language: one command per line, each one host call on the current
// driver object. Parsing knows nothing of the driver, so another front end (a terminal user
// interface, a test) can reuse it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace marlin::cli {

enum class ShellVerb {
  New,
  Release,
  Name,
  Status,
  Check,
  Initialize,
  Get,
  Interfaces,
  AmplParams,
  SetState,
  GetState,
  ResetFault,
  CheckForError,
  Params,
  Quit,
};

enum class DeviceProperty {
  Name,
  Description,
  DeviceType,
  Interface,
  Address,
  Status,
  Info,
  MaxFrequency,
  MinFrequency,
};

struct BandParams {
  std::int32_t bandPath = 0;
  std::int32_t outputMode = 0;
  std::int32_t operatingClass = 0;
  bool operator==(const BandParams&) const = default;
};

struct ShellCommand {
  ShellVerb verb{};
  std::string text;           // name, interfaces
  std::int32_t number = 0;    // status, setstate
  DeviceProperty property{};  // get
  BandParams params;          // amplparams
  bool operator==(const ShellCommand&) const = default;
};

struct EmptyLine {};
struct SyntaxError {
  std::string what;
};
using ParsedLine = std::variant<EmptyLine, ShellCommand, SyntaxError>;

// Longer lines are refused whole rather than read without bound.
inline constexpr std::size_t kLongestShellLine = std::size_t{64} * 1024;

// `line` without its line feed; one trailing carriage return (a CRLF script) is ignored.
ParsedLine ParseShellLine(std::string_view line);

// The commands and their arguments, for help and for error messages.
std::string ShellCommandSummary();

}  // namespace marlin::cli

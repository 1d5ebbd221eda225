// Any bytes as a console line: the parser answers a command, an empty line or a clear error,
// never a crash. Whatever it answers, the printed result line is "ok" or "error N" followed by
// exactly one valid JSON value, and a text argument is the line's own tail.
#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "app/shell_printer.h"
#include "app/shell_syntax.h"

namespace {

using namespace marlin::cli;

void CheckOneJsonValueAfter(const std::string& line, std::size_t prefix) {
  if (line.size() <= prefix) __builtin_trap();
  // parse() throws on anything but one complete value; the exception ends the run as a crash.
  (void)nlohmann::json::parse(line.substr(prefix));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  const ParsedLine parsed = ParseShellLine(line);
  if (const auto* error = std::get_if<SyntaxError>(&parsed)) {
    const std::string printed = ResultLine(ShellError{kSyntaxErrorNumber, error->what});
    if (printed.rfind("error 0 ", 0) != 0) __builtin_trap();
    CheckOneJsonValueAfter(printed, 8);
  } else if (const auto* command = std::get_if<ShellCommand>(&parsed)) {
    const std::string printed = ResultLine(ShellValue{command->text});
    CheckOneJsonValueAfter(printed, 3);
    if (line.find(command->text) == std::string_view::npos) __builtin_trap();
  }
  return 0;
}

#include "app/shell_printer.h"

#include "text/json_writer.h"
#include "text/quoted_string.h"

namespace marlin::cli {
namespace {

struct ValueText {
  std::string operator()(std::monostate) const { return {}; }
  std::string operator()(std::int64_t n) const { return std::to_string(n); }
  std::string operator()(double d) const { return text::JsonNumber(d); }
  std::string operator()(const std::string& text) const { return text::JsonString(text); }
  std::string operator()(const std::vector<std::string>& texts) const {
    return text::JsonArray(texts);
  }
  std::string operator()(const std::vector<std::int32_t>& numbers) const {
    return text::JsonArray(numbers);
  }
};

}  // namespace

std::string ResultLine(const ShellResult& result) {
  if (const auto* error = std::get_if<ShellError>(&result)) {
    return "error " + std::to_string(error->number) + " " + text::JsonString(error->description);
  }
  const ShellValue& value = std::get<ShellValue>(result);
  if (std::holds_alternative<std::monostate>(value)) return "ok";
  return "ok " + std::visit(ValueText{}, value);
}

}  // namespace marlin::cli

#pragma once
// JSON as the driver's hosts write it: one object on one line, written field by field in the
// order given, and the values that go into it.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace marlin::text {

class JsonObject {
 public:
  JsonObject& Text(std::string_view key, std::string_view value);
  JsonObject& Number(std::string_view key, std::int64_t value);
  JsonObject& Number(std::string_view key, const std::optional<std::int32_t>& value);  // or null
  JsonObject& Decimal(std::string_view key, double value);  // see JsonNumber
  JsonObject& Boolean(std::string_view key, bool value);
  JsonObject& Null(std::string_view key);
  // A value that is JSON already: a nested object's Line() or a number formatted by the caller.
  JsonObject& Json(std::string_view key, std::string_view json);
  std::string Line() const { return line_ + '}'; }

 private:
  void Key(std::string_view key);
  std::string line_ = "{";
};

// The shortest text that reads back as exactly this double.
std::string JsonNumber(double value);

std::string JsonArray(const std::vector<std::string>& texts);
std::string JsonArray(const std::vector<std::int32_t>& numbers);
// Values that are JSON already, in an array.
std::string JsonList(const std::vector<std::string>& values);

}  // namespace marlin::text

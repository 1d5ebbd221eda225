#include "text/json_writer.h"

#include <array>
#include <charconv>

#include "text/quoted_string.h"

namespace marlin::text {

void JsonObject::Key(std::string_view key) {
  if (line_.size() > 1) line_ += ',';
  line_ += '"';
  AppendEscaped(line_, key);
  line_ += "\":";
}

JsonObject& JsonObject::Text(std::string_view key, std::string_view value) {
  Key(key);
  line_ += '"';
  AppendEscaped(line_, value);
  line_ += '"';
  return *this;
}

JsonObject& JsonObject::Number(std::string_view key, std::int64_t value) {
  return Json(key, std::to_string(value));
}

JsonObject& JsonObject::Number(std::string_view key, const std::optional<std::int32_t>& value) {
  return value ? Number(key, *value) : Null(key);
}

JsonObject& JsonObject::Decimal(std::string_view key, double value) {
  return Json(key, JsonNumber(value));
}

JsonObject& JsonObject::Null(std::string_view key) { return Json(key, "null"); }

JsonObject& JsonObject::Boolean(std::string_view key, bool value) {
  return Json(key, value ? "true" : "false");
}

JsonObject& JsonObject::Json(std::string_view key, std::string_view json) {
  Key(key);
  line_ += json;
  return *this;
}

std::string JsonNumber(double value) {
  std::array<char, 32> buffer{};
  const auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  return std::string(buffer.data(), ec == std::errc() ? end : buffer.data());
}

std::string JsonArray(const std::vector<std::string>& texts) {
  std::string out = "[";
  for (std::size_t i = 0; i < texts.size(); ++i) out += (i ? "," : "") + JsonString(texts[i]);
  return out + "]";
}

std::string JsonArray(const std::vector<std::int32_t>& numbers) {
  std::string out = "[";
  for (std::size_t i = 0; i < numbers.size(); ++i) {
    out += (i ? "," : "") + std::to_string(numbers[i]);
  }
  return out + "]";
}

std::string JsonList(const std::vector<std::string>& values) {
  std::string json = "[";
  for (const std::string& value : values) json += (json.size() > 1 ? "," : "") + value;
  return json + "]";
}

}  // namespace marlin::text

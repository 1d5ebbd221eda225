#include "text/json_writer.h"

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

JsonObject& JsonObject::Boolean(std::string_view key, bool value) {
  return Json(key, value ? "true" : "false");
}

JsonObject& JsonObject::Json(std::string_view key, std::string_view json) {
  Key(key);
  line_ += json;
  return *this;
}

}  // namespace marlin::text

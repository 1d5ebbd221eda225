#pragma once
// One JSON object on one line, written field by field in the order given.
#include <cstdint>
#include <string>
#include <string_view>

namespace marlin::text {

class JsonObject {
 public:
  JsonObject& Text(std::string_view key, std::string_view value);
  JsonObject& Number(std::string_view key, std::int64_t value);
  JsonObject& Boolean(std::string_view key, bool value);
  // A value that is JSON already: a nested object's Line() or a number formatted by the caller.
  JsonObject& Json(std::string_view key, std::string_view json);
  std::string Line() const { return line_ + '}'; }

 private:
  void Key(std::string_view key);
  std::string line_ = "{";
};

}  // namespace marlin::text

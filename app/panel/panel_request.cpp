#include "app/panel/panel_request.h"

#include <cstdint>
#include <nlohmann/json.hpp>

#include "text/quoted_string.h"

namespace marlin::panel {
namespace {

using Json = nlohmann::json;

struct Field {
  const char* key;
  std::int64_t lowest, highest;
  std::int32_t StateRequest::*slot;
  bool required;
};

constexpr std::int32_t kHighestState = 3;
constexpr std::int32_t kHighestBand = 10;

const Field kFields[] = {
    {"state", 0, kHighestState, &StateRequest::state, true},
    {"bandpath", 0, kHighestBand, &StateRequest::bandPath, false},
    {"outputmode", 0, INT32_MAX, &StateRequest::outputMode, false},
    {"operatingclass", 0, INT32_MAX, &StateRequest::operatingClass, false},
};

std::variant<Json, BadRequest> ParseObject(const std::string& body) {
  Json json;
  try {
    json = Json::parse(body);
  } catch (const Json::parse_error& e) {
    if (e.byte > body.size()) {
      return BadRequest{"the body is not JSON: it ends too early, after " +
                        std::to_string(body.size()) + " bytes"};
    }
    return BadRequest{"the body is not JSON: it goes wrong at byte " + std::to_string(e.byte)};
  }
  if (!json.is_object()) return BadRequest{"the body is not a JSON object"};
  return json;
}

}  // namespace

std::variant<StateRequest, BadRequest> ParseStateRequest(const std::string& body) {
  if (body.find_first_not_of(" \t\r\n") == std::string::npos) {
    return BadRequest{"the body is empty; a switch needs {\"state\": N, ...}"};
  }
  auto parsed = ParseObject(body);
  if (auto* bad = std::get_if<BadRequest>(&parsed)) return *bad;
  const Json& json = std::get<Json>(parsed);
  for (const auto& [key, value] : json.items()) {
    bool known = false;
    for (const Field& f : kFields) known = known || key == f.key;
    if (!known) return BadRequest{"unknown key " + text::JsonString(key)};
  }
  StateRequest request;
  for (const Field& f : kFields) {
    const auto at = json.find(f.key);
    if (at == json.end()) {
      if (f.required) return BadRequest{std::string("\"") + f.key + "\" is missing"};
      continue;
    }
    const bool whole = at->is_number_integer();
    const std::int64_t value = whole ? at->get<std::int64_t>() : 0;
    // An unsigned number above the signed range reads as negative here and is refused as well.
    if (!whole || value < f.lowest || value > f.highest ||
        (at->is_number_unsigned() && at->get<std::uint64_t>() > INT64_MAX)) {
      return BadRequest{std::string("\"") + f.key + "\" must be a whole number from " +
                        std::to_string(f.lowest) + " to " + std::to_string(f.highest)};
    }
    request.*f.slot = static_cast<std::int32_t>(value);
    if (f.slot == &StateRequest::bandPath) request.bandPathGiven = true;
  }
  return request;
}

std::variant<std::monostate, BadRequest> ParseEmptyRequest(const std::string& body) {
  if (body.find_first_not_of(" \t\r\n") == std::string::npos) return std::monostate{};
  auto parsed = ParseObject(body);
  if (auto* bad = std::get_if<BadRequest>(&parsed)) return *bad;
  if (!std::get<Json>(parsed).empty()) return BadRequest{"this action takes no values"};
  return std::monostate{};
}

}  // namespace marlin::panel

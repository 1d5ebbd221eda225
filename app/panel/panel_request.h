#pragma once
// What an action request's body may say, checked before anything reaches the driver.
#include <string>
#include <variant>

#include "app/panel/device_worker.h"

namespace marlin::panel {

// The refusal of a body, for a 400 answer.
struct BadRequest {
  std::string message;
};

// {"state": 0..3, "bandpath": 0..10, "outputmode": N, "operatingclass": N}; all but "state" may
// be left out (0). Any other key, a value that is no whole number or out of range: BadRequest.
std::variant<StateRequest, BadRequest> ParseStateRequest(const std::string& body);

// The other actions take no values: an empty body or an empty JSON object.
std::variant<std::monostate, BadRequest> ParseEmptyRequest(const std::string& body);

}  // namespace marlin::panel

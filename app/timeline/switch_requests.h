#pragma once
// Every SetState request of a session, each with the state it left, for the report's table.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "app/timeline/timeline_model.h"

namespace marlin::timeline {

struct SwitchRequest {
  enum class Result { Done, Failed, Unfinished };
  std::size_t lane = 0;
  // The state the device's last switch confirmed, as traced ("Standby"); unknown after a failed
  // switch, any other host call that may change or lose the state, and at the session's start.
  std::optional<std::string> from;
  std::string to;  // as traced
  Position begin = 0, end = 0;
  Result result = Result::Done;
  const Mark* error = nullptr;  // the first failure reported while it ran
};

std::vector<SwitchRequest> SwitchRequests(const Timeline& timeline);

}  // namespace marlin::timeline

#pragma once
// The panel's answers and events as JSON text.
#include <string>
#include <vector>

#include "app/panel/device_worker.h"

namespace marlin::panel {

std::string DeviceJson(const DeviceView& view);
std::string WaitJson(const std::string& device, const std::string& phase,
                     const cli::WaitActivity& activity);
std::string OutcomeJson(const std::string& device, ActionKind kind, const ActionOutcome& outcome);
// {"message": "..."}: a request the panel refused before any driver call.
std::string RefusalJson(const std::string& message);
// {"message": "NAME is not connected", "error": "NAME is not connected"}
std::string NotConnectedJson(const std::string& device);

}  // namespace marlin::panel

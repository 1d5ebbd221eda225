#pragma once
// The one-shot commands for a device of the device list: identify, state, set, errors, reset.
#include <iosfwd>

#include "app/cli_options.h"

namespace marlin::cli {

// Prints the outcome on `out`; returns the exit status. Throws a CliFailure for bad usage, a
// broken configuration, a connection failure and a driver error.
int RunDeviceCommand(const CliOptions& options, std::ostream& out);

}  // namespace marlin::cli

#pragma once
// marlinctl demo: the main job end to end against a simulator in this process.
#include <iosfwd>

#include "app/cli_options.h"

namespace marlin::cli {

// Returns the exit status: success, a driver error, or a connection failure.
int RunDemo(const CliOptions& options, std::ostream& out);

}  // namespace marlin::cli

#pragma once
// marlinctl panel: the soft front panel in the browser, until SIGINT or SIGTERM.
#include <iosfwd>

#include "app/cli_options.h"

namespace marlin::cli {

int RunPanel(const CliOptions& options, std::ostream& out, std::ostream& err);

}  // namespace marlin::cli

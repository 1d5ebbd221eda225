#pragma once
// marlinctl shell: the host console over stdin and stdout.
#include <iosfwd>

#include "app/cli_options.h"

namespace marlin::cli {

int RunShell(const CliOptions& options, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace marlin::cli

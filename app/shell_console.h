#pragma once
// The host console's loop: a line in, one result line out, until quit or the end of input.
#include <iosfwd>

#include "app/line_source.h"
#include "app/shell_session.h"

namespace marlin::cli {

// The current driver object is released when the loop ends, by quit or by the end of input.
void RunConsole(LineSource& lines, ShellSession& session, std::ostream& out);

}  // namespace marlin::cli

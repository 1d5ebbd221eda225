#include "app/shell_console.h"

#include <ostream>

#include "app/shell_printer.h"
#include "app/shell_syntax.h"

namespace marlin::cli {

void RunConsole(LineSource& lines, ShellSession& session, std::ostream& out) {
  while (!session.Finished()) {
    const std::optional<std::string> line = lines.NextLine();
    if (!line) break;
    const ParsedLine parsed = ParseShellLine(*line);
    if (std::holds_alternative<EmptyLine>(parsed)) continue;
    ShellResult result;
    if (const auto* error = std::get_if<SyntaxError>(&parsed)) {
      result = ShellError{kSyntaxErrorNumber, error->what};
    } else {
      result = session.Run(std::get<ShellCommand>(parsed));
    }
    // Flushed per line: a script waits for each answer before it writes the next command.
    out << ResultLine(result) << '\n' << std::flush;
  }
  session.Release();
}

}  // namespace marlin::cli

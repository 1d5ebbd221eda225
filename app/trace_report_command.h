#pragma once
// marlinctl trace-report: a trace file read and written as a self-contained HTML report.
#include <cstddef>
#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

#include "app/cli_options.h"

namespace marlin::cli {

// Reads at most this many lines; a longer trace is reported from its beginning, said so.
inline constexpr std::size_t kMostTraceLines = 2'000'000;

// The lines of a trace file, each cut a little after the longest line a trace record may be (so
// a huge line costs no memory and still reads as too long). `cut` tells whether lines were left
// unread. Throws a configuration CliFailure for a file that is missing or cannot be read.
std::vector<std::string> ReadTraceLines(const std::filesystem::path& file, bool& cut);

// Writes the report; warnings (skipped lines) go to `err`, one summary line to `out`. Throws a
// configuration CliFailure for a trace that cannot be read or holds no trace record, and for a
// report that cannot be written.
int RunTraceReport(const CliOptions& options, std::ostream& out, std::ostream& err);

}  // namespace marlin::cli

#include "app/trace_report_command.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <ostream>

#include "app/exit_codes.h"
#include "app/timeline/svg_timeline.h"
#include "app/timeline/trace_records.h"
#include "driver/marlin_error.h"
#include "host/atomic_file.h"
#include "host/printable_text.h"

namespace marlin::cli {
namespace {

constexpr std::size_t kWarningsShown = 10;

std::string Quoted(const std::filesystem::path& file) {
  return "\"" + Printable(Capped(file.string())) + "\"";
}

[[noreturn]] void Fail(const std::string& what) {
  throw CliFailure(exit_code::kConfiguration, what);
}

}  // namespace

std::vector<std::string> ReadTraceLines(const std::filesystem::path& file, bool& cut) {
  std::error_code ec;
  const auto status = std::filesystem::status(file, ec);
  if (ec || !std::filesystem::exists(status)) Fail("trace-report: no trace file " + Quoted(file));
  // Only a regular file: a pipe or a device would be consumed or waited on.
  if (!std::filesystem::is_regular_file(status)) {
    Fail("trace-report: " + Quoted(file) + " is not a regular file");
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    Fail("trace-report: cannot read the trace file " + Quoted(file) + ": " + std::strerror(errno));
  }
  std::vector<std::string> lines;
  std::string line;
  bool tooLong = false;
  cut = false;
  char chunk[65536];
  while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
    const std::size_t got = static_cast<std::size_t>(in.gcount());
    for (std::size_t i = 0; i < got; ++i) {
      if (chunk[i] != '\n') {
        if (line.size() <= timeline::kLongestTraceLine) {
          line += chunk[i];
        } else {
          tooLong = true;
        }
        continue;
      }
      if (!line.empty() && line.back() == '\r' && !tooLong) line.pop_back();
      lines.push_back(std::move(line));
      line.clear();
      tooLong = false;
      if (lines.size() == kMostTraceLines) {
        cut = true;
        return lines;
      }
    }
  }
  if (in.bad()) {
    Fail("trace-report: cannot read the trace file " + Quoted(file) + ": " + std::strerror(errno));
  }
  if (!line.empty()) lines.push_back(std::move(line));
  return lines;
}

int RunTraceReport(const CliOptions& options, std::ostream& out, std::ostream& err) {
  const std::filesystem::path input = options.traceInput;
  const std::filesystem::path output = options.reportOutput;
  std::error_code ec;
  if (std::filesystem::equivalent(input, output, ec) && !ec) {
    throw UsageError("trace-report: the report " + Quoted(output) +
                     " would replace the trace; choose another file");
  }
  // Before anything is read or written: a pipe would block the write, a device would take it.
  const auto existing = std::filesystem::status(output, ec);
  if (!ec && std::filesystem::exists(existing) && !std::filesystem::is_regular_file(existing)) {
    throw UsageError("trace-report: the report " + Quoted(output) +
                     " exists and is not a regular file (a folder, a pipe or a device); choose "
                     "a file");
  }
  bool cut = false;
  const std::vector<std::string> lines = ReadTraceLines(input, cut);
  const timeline::Timeline read = timeline::BuildTimeline(lines);
  if (read.records == 0) {
    Fail("trace-report: " + Quoted(input) + " holds no trace record" +
         (read.malformedLines.empty() ? std::string()
                                      : "; line " + std::to_string(read.malformedLines.front()) +
                                            ": " + read.firstMalformedWhy));
  }
  // A process that died while writing leaves a broken last line, and that is when a report is
  // wanted most: lines that are no record are skipped, each one named.
  for (std::size_t i = 0; i < std::min(read.malformedLines.size(), kWarningsShown); ++i) {
    err << "marlinctl: trace-report: " << Printable(Capped(input.string())) << " line "
        << read.malformedLines[i] << " is no trace record; skipped\n";
  }
  if (read.malformedLines.size() > kWarningsShown) {
    err << "marlinctl: trace-report: " << read.malformedLines.size() - kWarningsShown
        << " more lines skipped\n";
  }
  if (cut) {
    err << "marlinctl: trace-report: only the first " << kMostTraceLines << " lines are reported\n";
  }

  const std::string html = timeline::RenderReportHtml(read, input.filename().string());
  // Whole or not at all, and a failure leaves whatever was there.
  try {
    ReplaceFile(output, html);
  } catch (const MarlinError& e) {
    Fail("trace-report: cannot write the report " + Quoted(output) + ": " +
         Printable(Capped(e.Description())));
  }
  std::size_t errors = 0;
  for (const timeline::Mark& m : read.marks) errors += m.error ? 1 : 0;
  out << Printable(Capped(output.string())) << ": " << read.records << " records, "
      << read.lanes.size() << (read.lanes.size() == 1 ? " lane, " : " lanes, ") << errors
      << (errors == 1 ? " error" : " errors") << ", " << read.malformedLines.size()
      << " lines skipped\n";
  return exit_code::kSuccess;
}

}  // namespace marlin::cli

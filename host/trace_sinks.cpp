#include "host/trace_sinks.h"

#include <nlohmann/json.hpp>
#include <ostream>
#include <utility>

#include "driver/marlin_error.h"

namespace marlin {
namespace {

using Json = nlohmann::ordered_json;

std::string OneLine(const Json& record) {
  return record.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace

JsonLinesFile::JsonLinesFile(const std::filesystem::path& path, TraceStamp stamp)
    : path_(path), stamp_(std::move(stamp)), out_(path, std::ios::app | std::ios::binary) {
  if (!out_) {
    throw MarlinError(errors::kFileAccess,
                      "Cannot open the trace file \"" + path.string() + "\" for writing");
  }
}

// Stamped under the lock, so the times of the file's lines never go back.
template <class Record>
void JsonLinesFile::Append(Record record) {
  std::lock_guard lock(mutex_);
  record["time"] = stamp_();
  out_.clear();
  out_ << OneLine(record) << '\n';
  out_.flush();
  if (!out_) {
    throw MarlinError(errors::kFileAccess,
                      "Cannot write to the trace file \"" + path_.string() + "\"");
  }
}

void JsonLinesFile::Line(const TraceCall& call) {
  Append(Json{{"event", call.event},
              {"component", call.component},
              {"class", call.className},
              {"procedure", call.procedure},
              {"data", call.data},
              {"instance", call.instance}});
}

void JsonLinesFile::Report(const ErrorReportCall& report) {
  Append(Json{{"report",
               {{"number", report.number},
                {"description", report.description},
                {"instance", report.instance},
                {"line", report.line}}}});
}

void JsonLinesFile::Message(const std::string& text, std::int32_t style, const std::string& title) {
  Append(Json{{"message", {{"text", text}, {"style", style}, {"title", title}}}});
}

void JsonLinesFile::MessageBox(const std::string& text, const std::string& title) {
  Append(Json{{"messagebox", {{"text", text}, {"title", title}}}});
}

void TerminalTrace::Line(const TraceCall& call) {
  std::lock_guard lock(mutex_);
  out_ << "trace " << call.event << ' ' << call.procedure;
  if (!call.component.empty() || !call.className.empty()) {
    out_ << "  " << call.component << '/' << call.className;
  }
  if (!call.data.empty()) out_ << "  data=" << call.data;
  out_ << "  #" << call.instance << '\n';
  out_.flush();
}

void TerminalTrace::Report(const ErrorReportCall& report) {
  std::lock_guard lock(mutex_);
  out_ << "error " << report.number << ": " << report.description << "  #" << report.instance
       << " line " << report.line << '\n';
  out_.flush();
}

}  // namespace marlin

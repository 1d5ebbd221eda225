#include "host/trace_sinks.h"

#include <ostream>
#include <utility>

#include "driver/marlin_error.h"
#include "text/json_writer.h"

namespace marlin {
using text::JsonObject;

JsonLinesFile::JsonLinesFile(const std::filesystem::path& path, TraceStamp stamp,
                             LineObserver observer)
    : path_(path), observer_(std::move(observer)), stamp_(std::move(stamp)) {
  if (path.empty()) return;
  out_.open(path, std::ios::app | std::ios::binary);
  if (!out_) {
    throw MarlinError(errors::kFileAccess,
                      "Cannot open the trace file \"" + path.string() + "\" for writing");
  }
}

// Stamped under the lock, so the times of the file's lines never go back.
void JsonLinesFile::Append(JsonObject record, const std::string& device) {
  if (!device.empty()) record.Text("device", device);
  std::lock_guard lock(mutex_);
  const std::string line = record.Text("time", stamp_()).Line();
  if (observer_) observer_(line, device);
  if (path_.empty()) return;
  out_.clear();
  out_ << line << '\n';
  out_.flush();
  if (!out_) {
    throw MarlinError(errors::kFileAccess,
                      "Cannot write to the trace file \"" + path_.string() + "\"");
  }
}

void JsonLinesFile::Line(const TraceCall& call) {
  Append(JsonObject()
             .Text("event", call.event)
             .Text("component", call.component)
             .Text("class", call.className)
             .Text("procedure", call.procedure)
             .Text("data", call.data)
             .Text("instance", call.instance),
         call.device);
}

void JsonLinesFile::Report(const ErrorReportCall& report) {
  Append(JsonObject().Json("report", JsonObject()
                                         .Number("number", report.number)
                                         .Text("description", report.description)
                                         .Number("instance", report.instance)
                                         .Number("line", report.line)
                                         .Line()),
         report.device);
}

// A message is shown from inside the procedure that needs it, on that procedure's thread.
void JsonLinesFile::Message(const std::string& text, std::int32_t style, const std::string& title,
                            const std::string& device) {
  Append(JsonObject().Json(
             "message",
             JsonObject().Text("text", text).Number("style", style).Text("title", title).Line()),
         device);
}

void JsonLinesFile::MessageBox(const std::string& text, const std::string& title,
                               const std::string& device) {
  Append(
      JsonObject().Json("messagebox", JsonObject().Text("text", text).Text("title", title).Line()),
      device);
}

void TerminalTrace::Line(const TraceCall& call) {
  std::lock_guard lock(mutex_);
  out_ << "trace " << call.event << ' ' << call.procedure;
  if (!call.component.empty() || !call.className.empty()) {
    out_ << "  " << call.component << '/' << call.className;
  }
  if (!call.data.empty()) out_ << "  data=" << call.data;
  out_ << "  #" << call.instance;
  if (!call.device.empty()) out_ << "  device=" << call.device;
  out_ << '\n';
  out_.flush();
}

void TerminalTrace::Report(const ErrorReportCall& report) {
  std::lock_guard lock(mutex_);
  out_ << "error " << report.number << ": " << report.description << "  #" << report.instance
       << " line " << report.line;
  if (!report.device.empty()) out_ << "  device=" << report.device;
  out_ << '\n';
  out_.flush();
}

}  // namespace marlin

#pragma once
// Where the stand-alone host's trace goes: a JSON Lines file that programs read back, and a
// terminal rendering for people. Both may be shared by the services of every thread.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iosfwd>
#include <mutex>
#include <string>

#include "host/trace_time.h"
#include "text/json_writer.h"

namespace marlin {

// Whose work a service's records are about: the traced device of the context it serves
// (Host::TracedDevice); empty when none or unnamed.
using TracedDeviceSource = std::function<std::string()>;

// `device`: whose procedure made the call, empty when none or unnamed.
struct TraceCall {
  std::string event, component, className, procedure, data, instance, device;
};

struct ErrorReportCall {
  std::int32_t number;
  std::string description;
  std::int32_t instance;
  std::int32_t line;
  std::string device;
};

class TraceSink {
 public:
  virtual ~TraceSink() = default;
  virtual void Line(const TraceCall& call) = 0;
  virtual void Report(const ErrorReportCall& report) = 0;
};

// One JSON object per line:
//   {"event": ..., "component": ..., "class": ..., "procedure": ..., "data": ..., "instance": ...,
//    "time": ...}
//   {"report": {"number": N, "description": ..., "instance": N, "line": N}, "time": ...}
//   {"message": {"text": ..., "style": N, "title": ...}, "time": ...}
//   {"messagebox": {"text": ..., "title": ...}, "time": ...}
// A record written while a named object's procedure runs adds "device": NAME before "time", so
// the records of objects sharing one process id can be told apart. "time" comes last, so readers
// of the older lines are unaffected: UTC, ISO 8601, microseconds ("2026-12-08T14:03:07.123456Z").
// Bytes that are not UTF-8 are replaced, so every line stays valid JSON.
class JsonLinesFile final : public TraceSink {
 public:
  // Sees every line as written, in order, with the device it names (empty: none); called under
  // the file's lock.
  using LineObserver = std::function<void(const std::string& line, const std::string& device)>;

  // Appends to the file; raises errors::kFileAccess when it cannot be opened. An empty path
  // writes no file: the lines go to the observer only. `stamp` gives each record's time (the
  // wall time unless the host passes its clock's).
  explicit JsonLinesFile(const std::filesystem::path& path, TraceStamp stamp = WallClockStamp,
                         LineObserver observer = {});

  void Line(const TraceCall& call) override;
  void Report(const ErrorReportCall& report) override;
  void Message(const std::string& text, std::int32_t style, const std::string& title,
               const std::string& device);
  void MessageBox(const std::string& text, const std::string& title, const std::string& device);
  const std::filesystem::path& Path() const { return path_; }

 private:
  void Append(text::JsonObject record, const std::string& device);

  std::filesystem::path path_;
  LineObserver observer_;
  TraceStamp stamp_;
  std::mutex mutex_;
  std::ofstream out_;
};

// "trace start Let clsDevice_Name  Telvar_Amplifier/clsMarlin  data=False  #4711"
// "error 13: Type mismatch  #4711 line 0", each followed by "  device=NAME" where one is named
class TerminalTrace final : public TraceSink {
 public:
  explicit TerminalTrace(std::ostream& out) : out_(out) {}
  void Line(const TraceCall& call) override;
  void Report(const ErrorReportCall& report) override;

 private:
  std::mutex mutex_;
  std::ostream& out_;
};

}  // namespace marlin

#include "driver/procedure.h"

#include <string>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace marlin {
namespace {
constexpr std::int32_t kRetry = 5;
constexpr std::int32_t kNoLineNumber = 0;
}  // namespace

Procedure::Procedure(Host& host, const ProcedureLabel& label, const std::string& deviceName)
    : host_(host), label_(label), deviceName_(deviceName), outer_(host.innermost_) {
  host_.innermost_ = this;
}

Procedure::~Procedure() { host_.innermost_ = outer_; }

std::int32_t InstanceId() {
#ifdef _WIN32
  return static_cast<std::int32_t>(_getpid());
#else
  return static_cast<std::int32_t>(getpid());
#endif
}

std::string FormDescription(ErrorForm form, const std::string& deviceName,
                            const std::string& description) {
  switch (form) {
    case ErrorForm::Prefixed:
      return trace_text::kDevicePrefix + deviceName + description;
    case ErrorForm::PrefixedWithSeparator:
      return trace_text::kDevicePrefix + deviceName + trace_text::kSeparator + description;
    case ErrorForm::Plain:
    case ErrorForm::Own:
      break;
  }
  return description;
}

void Procedure::Start(const std::string& data) {
  if (label_.form == ErrorForm::Own) {
    Absorb([&] { WriteLine(true, data); });
  } else {
    Step([&] { WriteLine(true, data); });
  }
}

void Procedure::End() {
  if (label_.form == ErrorForm::Own) {
    Absorb([&] { WriteLine(false, {}); });
  } else {
    Step([&] { WriteLine(false, {}); });
  }
}

void Procedure::WriteLine(bool start, const std::string& data) {
  HostTrace& trace = host_.Trace();
  if (!trace.TraceEnabled()) return;
  const std::string instance = std::to_string(InstanceId());
  if (start) {
    trace.WriteTrace(trace_text::kStart, trace_text::kComponent, trace_text::kClass, label_.start,
                     data, instance);
  } else {
    trace.WriteTrace(trace_text::kEnd, {}, {}, label_.end, {}, instance);
  }
}

void Procedure::HandleOrRaise(const MarlinError& error) {
  std::int32_t answer = 0;
  try {
    answer = host_.Trace().ReportError(error, InstanceId(), kNoLineNumber);
  } catch (...) {
    // A trace service that cannot take the report must not hide the original error.
    answer = 0;
  }
  if (answer == kRetry) {
    host_.BreakIfDebuggerAttached();
    return;
  }
  throw MarlinError(error.Number(), FormDescription(label_.form, deviceName_, error.Description()));
}

}  // namespace marlin

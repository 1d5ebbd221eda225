#include "host/standalone_trace.h"

#include <utility>

namespace marlin {

StandaloneTrace::StandaloneTrace(std::vector<std::shared_ptr<TraceSink>> sinks,
                                 std::int32_t reportAnswer, TracedDeviceSource device)
    : sinks_(std::move(sinks)), reportAnswer_(reportAnswer), device_(std::move(device)) {}

std::int32_t StandaloneTrace::ReportError(const MarlinError& error, std::int32_t instanceId,
                                          std::int32_t line) {
  const ErrorReportCall report{error.Number(), error.Description(), instanceId, line,
                               device_ ? device_() : std::string()};
  for (const auto& sink : sinks_) sink->Report(report);
  return reportAnswer_;
}

void StandaloneTrace::WriteTrace(const std::string& event, const std::string& component,
                                 const std::string& className, const std::string& procedure,
                                 const std::string& data, const std::string& instanceId) {
  const TraceCall call{event,
                       component,
                       className,
                       procedure,
                       data,
                       instanceId,
                       device_ ? device_() : std::string()};
  for (const auto& sink : sinks_) sink->Line(call);
}

}  // namespace marlin

#include "tests/support/recording_trace.h"

namespace marlin::testing {

std::int32_t RecordingTrace::ReportError(const MarlinError& error, std::int32_t instanceId,
                                         std::int32_t line) {
  reports.push_back({error.Number(), error.Description(), instanceId, line});
  if (onReport) onReport(error);
  if (answers.empty()) return 0;
  std::int32_t answer = answers.front();
  answers.pop_front();
  return answer;
}

void RecordingTrace::WriteTrace(const std::string& event, const std::string& component,
                                const std::string& className, const std::string& procedure,
                                const std::string& data, const std::string& instanceId) {
  lines.push_back({event, component, className, procedure, data, instanceId});
}

std::vector<std::string> RecordingTrace::Events() const {
  std::vector<std::string> out;
  out.reserve(lines.size());
  for (const auto& l : lines) out.push_back(l.event + ":" + l.procedure);
  return out;
}

}  // namespace marlin::testing

#pragma once
// A trace service that keeps every call, for tests that check the lines a procedure wrote.
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "driver/host_services.h"

namespace marlin::testing {

struct TraceLine {
  std::string event, component, className, procedure, data, instance;
};

struct ErrorReport {
  std::int32_t number;
  std::string description;
  std::int32_t instance;
  std::int32_t line;
};

class RecordingTrace : public HostTrace {
 public:
  bool enabled = true;
  // Answers handed out in order to ReportError; 0 once they run out.
  std::deque<std::int32_t> answers;
  std::vector<TraceLine> lines;
  std::vector<ErrorReport> reports;
  // Runs at each report, before the answer is handed out: what the operator does meanwhile.
  std::function<void(const MarlinError&)> onReport;

  bool TraceEnabled() override { return enabled; }
  std::int32_t ReportError(const MarlinError& error, std::int32_t instanceId,
                           std::int32_t line) override;
  void WriteTrace(const std::string& event, const std::string& component,
                  const std::string& className, const std::string& procedure,
                  const std::string& data, const std::string& instanceId) override;

  // "start:Label" / "end:Label" for each line, in order.
  std::vector<std::string> Events() const;
};

}  // namespace marlin::testing

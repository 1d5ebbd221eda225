#pragma once
// HostTrace of the stand-alone host: trace is enabled when a sink is configured, and every error
// report is answered with the configured value (0: no retry; 5 asks the driver to retry).
#include <memory>
#include <vector>

#include "driver/host_services.h"
#include "host/trace_sinks.h"

namespace marlin {

class StandaloneTrace final : public HostTrace {
 public:
  // `device` names the device of each record; without it records name none.
  StandaloneTrace(std::vector<std::shared_ptr<TraceSink>> sinks, std::int32_t reportAnswer,
                  TracedDeviceSource device = {});

  bool TraceEnabled() override { return !sinks_.empty(); }
  std::int32_t ReportError(const MarlinError& error, std::int32_t instanceId,
                           std::int32_t line) override;
  void WriteTrace(const std::string& event, const std::string& component,
                  const std::string& className, const std::string& procedure,
                  const std::string& data, const std::string& instanceId) override;

 private:
  std::vector<std::shared_ptr<TraceSink>> sinks_;
  std::int32_t reportAnswer_;
  TracedDeviceSource device_;
};

}  // namespace marlin

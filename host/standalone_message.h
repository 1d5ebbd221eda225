#pragma once
// HostMessage of the stand-alone host: messages go to the operator's console and, when a trace
// file is configured, into it; Context answers what the host's configuration allows.
#include <iosfwd>
#include <memory>
#include <optional>

#include "driver/host_services.h"
#include "host/trace_sinks.h"

namespace marlin {

class StandaloneMessage final : public HostMessage {
 public:
  // `record` may be null. `waitWindowAllowed`: nothing makes Context answer nothing. `device`
  // names the device of each record.
  StandaloneMessage(std::ostream& console, std::shared_ptr<JsonLinesFile> record,
                    std::optional<bool> waitWindowAllowed, TracedDeviceSource device = {});

  void ShowMessage(const std::string& text, std::int32_t& style, const std::string& title,
                   std::int32_t timeout) override;
  std::shared_ptr<HostContext> Context() override { return context_; }

 private:
  std::ostream& console_;
  std::shared_ptr<JsonLinesFile> record_;
  std::shared_ptr<HostContext> context_;
  TracedDeviceSource device_;
};

}  // namespace marlin

#pragma once
// Operator messages of the COM server: a message box in front of the host's window, besides
// the trace record and console line of the stand-alone service it wraps.
#include <memory>

#include "driver/host_services.h"

namespace marlin::com {

class Win32Message final : public HostMessage {
 public:
  explicit Win32Message(std::unique_ptr<HostMessage> recorded) : recorded_(std::move(recorded)) {}

  void ShowMessage(const std::string& text, std::int32_t& style, const std::string& title,
                   std::int32_t timeout) override;
  std::shared_ptr<HostContext> Context() override { return recorded_->Context(); }

 private:
  std::unique_ptr<HostMessage> recorded_;
};

}  // namespace marlin::com

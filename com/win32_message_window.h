#pragma once
// Operator messages of the server. A GUI host has no console, so a message appears in a small
// window of the server's own: title, style icon, text and OK. It closes itself after the message's
// timeout on the server's clock (a message box's own timeout is not honoured everywhere). The
// call returns when the operator presses OK or the time is up, the thread's messages flowing
// meanwhile; the message also goes to the stand-alone service (trace record, console).
#include <windows.h>

#include <memory>

#include "clock/clock.h"
#include "driver/host_services.h"

namespace marlin::com {

class Win32Message final : public HostMessage {
 public:
  static constexpr const wchar_t* kClassName = L"MarlinOperatorMessage";
  static constexpr int kIconId = 101;
  static constexpr int kTextId = 102;

  Win32Message(std::unique_ptr<HostMessage> standalone, std::shared_ptr<Clock> clock)
      : standalone_(std::move(standalone)), clock_(std::move(clock)) {}

  void ShowMessage(const std::string& text, std::int32_t& style, const std::string& title,
                   std::int32_t timeout) override;
  std::shared_ptr<HostContext> Context() override { return standalone_->Context(); }

 private:
  std::unique_ptr<HostMessage> standalone_;
  std::shared_ptr<Clock> clock_;
};

}  // namespace marlin::com

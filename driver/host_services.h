#pragma once
// The host services the driver reaches the outside world through. One instance of each per
// thread (host_registry.h); members in the order of the host's interfaces.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "driver/marlin_error.h"

namespace marlin {

class HostTrace {
 public:
  virtual ~HostTrace() = default;
  virtual bool TraceEnabled() = 0;
  // Answers 5 to ask for a retry of the failing step.
  virtual std::int32_t ReportError(const MarlinError& error, std::int32_t instanceId,
                                   std::int32_t line) = 0;
  virtual void WriteTrace(const std::string& event, const std::string& component,
                          const std::string& className, const std::string& procedure,
                          const std::string& data, const std::string& instanceId) = 0;
};

class HostGpib {
 public:
  virtual ~HostGpib() = default;
  virtual std::int16_t GpibStatus() = 0;  // bit 0x8000: the last call failed
  virtual bool GpibSucceeded() = 0;
  virtual void GpibOpen(std::int16_t board, std::int16_t primaryAddress,
                        std::int32_t secondaryAddress, std::int32_t timeoutCode,
                        std::int32_t eoiMode, std::int32_t eosMode, std::int16_t& handle) = 0;
  virtual void GpibPrepareClose(std::int16_t handle) = 0;
  virtual void GpibClose(std::int16_t handle, std::int32_t mode) = 0;
  virtual void GpibWrite(std::int16_t handle, const std::string& text) = 0;
  virtual void GpibRead(std::int16_t handle, std::string& text) = 0;
};

class HostDevList {
 public:
  virtual ~HostDevList() = default;
  virtual std::int32_t GetAddress(const std::string& name) = 0;
  virtual std::string GetVisaResource(const std::string& name) = 0;
  virtual std::string GetLanAddress(const std::string& name) = 0;
  virtual void SetLanAddress(const std::string& name, const std::string& address) = 0;
  virtual std::string GetDescription(const std::string& name) = 0;
  virtual std::int32_t GetInterface(const std::string& name) = 0;
  virtual void LanOpen(const std::string& host, std::int32_t port, std::int32_t localPort,
                       const std::string& protocol, std::int32_t& socket, bool& ok) = 0;
  virtual void LanClose(std::int32_t socket, bool& ok) = 0;
  virtual void LanSend(std::int32_t socket, const std::string& text, bool& ok) = 0;
  virtual void LanQuery(std::int32_t socket, const std::string& text, std::string& answer,
                        bool& ok) = 0;
  virtual void LanIsConnected(std::int32_t socket, bool& connected) = 0;
  virtual void CheckLanDevice(const std::string& name, bool& allowed) = 0;
};

// The host's range test takes variants; whole numbers are all the driver passes.
class HostTools {
 public:
  virtual ~HostTools() = default;
  virtual double LowestFrequency() = 0;
  virtual double HighestFrequency() = 0;
  virtual bool IsBetween(std::int64_t low, std::int64_t value, std::int64_t high) = 0;
  virtual void Wait(float milliseconds) = 0;
};

// The object behind HostMessage.Context.
class HostContext {
 public:
  virtual ~HostContext() = default;
  virtual bool Enabled() = 0;
};

class HostMessage {
 public:
  virtual ~HostMessage() = default;
  virtual void ShowMessage(const std::string& text, std::int32_t& style, const std::string& title,
                           std::int32_t timeout) = 0;
  // Nothing (nullptr) or an object offering Enabled.
  virtual std::shared_ptr<HostContext> Context() = 0;
};

// What a host text table may change in a window: the texts of its controls, chosen by tag.
class HostWindow {
 public:
  virtual ~HostWindow() = default;
  virtual std::vector<std::string> ControlNames() const = 0;
  virtual std::string ControlTag(const std::string& control) const = 0;
  virtual void SetControlText(const std::string& control, const std::string& text) = 0;
};

class HostTexts {
 public:
  virtual ~HostTexts() = default;
  virtual std::string GetText(std::int32_t number) = 0;
  virtual void ApplyTexts(HostWindow& window) = 0;
};

// The host's drawing of the wait window. The form logic (frmWaitForDone) decides what is shown;
// the view draws it and reports the operator's actions back through WaitWindowEvents.
class WaitWindowEvents {
 public:
  virtual ~WaitWindowEvents() = default;
  virtual void OnStopClicked() = 0;
  virtual void OnCloseRequest(std::int32_t reason) = 0;
};

using IndicatorValue = std::variant<std::string, std::int32_t>;

// The stored design of the wait window, which the host draws.
struct WaitWindowLayout {
  std::string caption;                       // "Wait %s for" until DlgCaption replaces it
  std::string indicatorLabel;                // the LED-style indicator's label
  std::vector<std::string> indicatorStates;  // its two state names
  std::string stopCaption;                   // "STOP"
  std::string stopTag;                       // the text number a host text table may use
};

class WaitWindowView : public HostWindow {
 public:
  virtual void SetCaption(const std::string& caption) = 0;
  virtual std::string Caption() const = 0;
  // Dispatch properties of the indicator: 3 label text, 5 colour (0x00BBGGRR).
  virtual void SetIndicatorProperty(std::int32_t dispId, const IndicatorValue& value) = 0;
  virtual void ShowModeless() = 0;
  virtual void Close() = 0;
  virtual bool Visible() const = 0;
};

// A periodic tick delivered on the owning (host) thread.
class HostTimer {
 public:
  virtual ~HostTimer() = default;
  virtual void SetInterval(std::int32_t milliseconds) = 0;
  virtual void SetEnabled(bool enabled) = 0;
  virtual bool Enabled() const = 0;
};

// Windowing on the host's thread: the wait window, the message box and timers.
class HostWindows {
 public:
  virtual ~HostWindows() = default;
  virtual std::unique_ptr<WaitWindowView> CreateWaitWindow(const WaitWindowLayout& layout,
                                                           WaitWindowEvents& events) = 0;
  // Blocks until the operator closes it.
  virtual void ShowMessageBox(const std::string& text, const std::string& title,
                              std::int32_t style) = 0;
  virtual std::unique_ptr<HostTimer> CreateTimer(std::function<void()> tick) = 0;
};

}  // namespace marlin

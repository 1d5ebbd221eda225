#pragma once
// HostWindows of a terminal host: the wait window and message boxes on the console, timers from
// this thread's queue.
#include <iosfwd>
#include <memory>

#include "driver/host_services.h"
#include "host/timer_queue.h"
#include "host/trace_sinks.h"

namespace marlin {

class TerminalWindows final : public HostWindows {
 public:
  // `record` may be null. `device` names the device of each record.
  TerminalWindows(std::shared_ptr<TimerQueue> timers, std::ostream& console,
                  std::shared_ptr<JsonLinesFile> record, TracedDeviceSource device = {});

  // A status line on the console (TerminalWaitWindow); STOP is a key when stdin is a terminal.
  std::unique_ptr<WaitWindowView> CreateWaitWindow(const WaitWindowLayout& layout,
                                                   WaitWindowEvents& events) override;
  // Shows the box on the console and, when stdin is a terminal, waits for Enter.
  void ShowMessageBox(const std::string& text, const std::string& title,
                      std::int32_t style) override;
  std::unique_ptr<HostTimer> CreateTimer(std::function<void()> tick) override;

  // Delivers the ticks due by now, as a message loop would between the host's calls.
  std::size_t PumpTimers() { return timers_->DeliverDue(); }
  TimerQueue& Timers() { return *timers_; }

 private:
  std::shared_ptr<TimerQueue> timers_;
  std::ostream& console_;
  std::shared_ptr<JsonLinesFile> record_;
  TracedDeviceSource device_;
};

}  // namespace marlin

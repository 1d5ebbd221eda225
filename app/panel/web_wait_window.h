#pragma once
// The PA4520's wait window drawn in the page: every change goes out as an event, and the page's
// STOP reaches the form through a flag that a timer of the device's thread polls while the
// driver waits, so the form only ever runs on its own thread.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "driver/host_services.h"

namespace marlin::panel {

struct WaitWindowState {
  bool visible = false;
  std::string caption;
  std::string label;
  std::int32_t colour = 0;  // 0x00BBGGRR
  std::string stopCaption;
};

class WebWaitWindow final : public WaitWindowView {
 public:
  static constexpr std::int32_t kStopPollMs = 50;

  // `stop` is set by the page and cleared here when the form has been told.
  WebWaitWindow(const WaitWindowLayout& layout, WaitWindowEvents& events,
                const std::function<std::unique_ptr<HostTimer>(std::function<void()>)>& makeTimer,
                std::shared_ptr<std::atomic<bool>> stop,
                std::function<void(const WaitWindowState&)> changed);
  ~WebWaitWindow() override;
  WebWaitWindow(const WebWaitWindow&) = delete;
  WebWaitWindow& operator=(const WebWaitWindow&) = delete;

  std::vector<std::string> ControlNames() const override;
  std::string ControlTag(const std::string& control) const override;
  void SetControlText(const std::string& control, const std::string& text) override;
  void SetCaption(const std::string& caption) override;
  std::string Caption() const override { return state_.caption; }
  // Raises 438 for another property, 13 for a value of the wrong kind and 380 for a colour
  // outside 0x000000 to 0xFFFFFF.
  void SetIndicatorProperty(std::int32_t dispId, const IndicatorValue& value) override;
  void ShowModeless() override;
  void Close() override;
  bool Visible() const override { return state_.visible; }

 private:
  void PollStop();
  void Changed();

  WaitWindowEvents& events_;
  std::shared_ptr<std::atomic<bool>> stop_;
  std::function<void(const WaitWindowState&)> changed_;
  std::string stopTag_;
  WaitWindowState state_;
  std::unique_ptr<HostTimer> stopTimer_;
};

}  // namespace marlin::panel

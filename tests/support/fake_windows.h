#pragma once
// Windows that remember what the driver showed, for the message box and the wait window.
#include <memory>
#include <string>
#include <vector>

#include "driver/host_services.h"

namespace marlin::testing {

struct ShownWindow {
  WaitWindowLayout layout;
  std::string caption;
  std::string label;
  std::int32_t colour = -1;
  bool shown = false;
  bool closed = false;
  WaitWindowEvents* events = nullptr;
};

class FakeWaitView final : public WaitWindowView {
 public:
  explicit FakeWaitView(std::shared_ptr<ShownWindow> state) : state_(std::move(state)) {}
  std::vector<std::string> ControlNames() const override { return {"cwInfo", "cmdStop"}; }
  std::string ControlTag(const std::string& control) const override {
    return control == "cmdStop" ? state_->layout.stopTag : std::string();
  }
  void SetControlText(const std::string&, const std::string&) override {}
  void SetCaption(const std::string& caption) override { state_->caption = caption; }
  std::string Caption() const override { return state_->caption; }
  void SetIndicatorProperty(std::int32_t dispId, const IndicatorValue& value) override {
    if (dispId == 3) state_->label = std::get<std::string>(value);
    if (dispId == 5) state_->colour = std::get<std::int32_t>(value);
  }
  void ShowModeless() override { state_->shown = true; }
  void Close() override { state_->closed = true; }
  bool Visible() const override { return state_->shown && !state_->closed; }

 private:
  std::shared_ptr<ShownWindow> state_;
};

struct MessageBoxCall {
  std::string text, title;
  std::int32_t style;
};

class FakeWindows final : public HostWindows {
 public:
  std::vector<std::shared_ptr<ShownWindow>> windows;
  std::vector<MessageBoxCall> boxes;

  std::unique_ptr<WaitWindowView> CreateWaitWindow(const WaitWindowLayout& layout,
                                                   WaitWindowEvents& events) override {
    auto state = std::make_shared<ShownWindow>();
    state->layout = layout;
    state->caption = layout.caption;
    state->label = layout.indicatorLabel;
    state->events = &events;
    windows.push_back(state);
    return std::make_unique<FakeWaitView>(state);
  }
  void ShowMessageBox(const std::string& text, const std::string& title,
                      std::int32_t style) override {
    boxes.push_back({text, title, style});
  }
  std::unique_ptr<HostTimer> CreateTimer(std::function<void()>) override { return nullptr; }
};

class FixedContext final : public HostContext {
 public:
  explicit FixedContext(bool enabled) : enabled_(enabled) {}
  bool Enabled() override { return enabled_; }

 private:
  bool enabled_;
};

// HostMessage whose Context is nothing or an object with a fixed Enabled.
class ContextMessage final : public HostMessage {
 public:
  std::shared_ptr<HostContext> context;
  std::vector<std::string> messages;
  void ShowMessage(const std::string& text, std::int32_t&, const std::string&,
                   std::int32_t) override {
    messages.push_back(text);
  }
  std::shared_ptr<HostContext> Context() override { return context; }
};

}  // namespace marlin::testing

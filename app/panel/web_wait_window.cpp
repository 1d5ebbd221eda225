#include "app/panel/web_wait_window.h"

#include <utility>

#include "driver/marlin_error.h"
#include "ui/frm_wait_for_done.h"

namespace marlin::panel {
namespace {

constexpr std::int32_t kNoSuchProperty = 438;
constexpr std::int32_t kWhite = 0xFFFFFF;

}  // namespace

WebWaitWindow::WebWaitWindow(
    const WaitWindowLayout& layout, WaitWindowEvents& events,
    const std::function<std::unique_ptr<HostTimer>(std::function<void()>)>& makeTimer,
    std::shared_ptr<std::atomic<bool>> stop, std::function<void(const WaitWindowState&)> changed)
    : events_(events),
      stop_(std::move(stop)),
      changed_(std::move(changed)),
      stopTag_(layout.stopTag) {
  state_.caption = layout.caption;
  state_.label = layout.indicatorLabel;
  state_.stopCaption = layout.stopCaption;
  stopTimer_ = makeTimer([this] { PollStop(); });
  stopTimer_->SetInterval(kStopPollMs);
}

WebWaitWindow::~WebWaitWindow() {
  if (state_.visible) {
    state_.visible = false;
    Changed();
  }
}

std::vector<std::string> WebWaitWindow::ControlNames() const {
  return {frmWaitForDone::kIndicatorControl, frmWaitForDone::kStopControl};
}

std::string WebWaitWindow::ControlTag(const std::string& control) const {
  return control == frmWaitForDone::kStopControl ? stopTag_ : std::string();
}

void WebWaitWindow::SetControlText(const std::string& control, const std::string& text) {
  if (control == frmWaitForDone::kStopControl) {
    state_.stopCaption = text;
  } else if (control == frmWaitForDone::kIndicatorControl) {
    state_.label = text;
  } else {
    throw MarlinError(kNoSuchProperty, "The wait window has no control \"" + control + "\"");
  }
  Changed();
}

void WebWaitWindow::SetCaption(const std::string& caption) {
  state_.caption = caption;
  Changed();
}

void WebWaitWindow::SetIndicatorProperty(std::int32_t dispId, const IndicatorValue& value) {
  if (dispId == frmWaitForDone::kLabelProperty) {
    const auto* text = std::get_if<std::string>(&value);
    if (!text) {
      throw MarlinError(errors::kTypeMismatch, "Type mismatch: the indicator's label is a text");
    }
    state_.label = *text;
  } else if (dispId == frmWaitForDone::kColourProperty) {
    const auto* colour = std::get_if<std::int32_t>(&value);
    if (!colour) {
      throw MarlinError(errors::kTypeMismatch, "Type mismatch: the indicator's colour is a number");
    }
    if (*colour < 0 || *colour > kWhite) {
      throw MarlinError(errors::kInvalidPropertyValue,
                        "Invalid property value: colour " + std::to_string(*colour));
    }
    state_.colour = *colour;
  } else {
    throw MarlinError(kNoSuchProperty,
                      "Object doesn't support this property or method: indicator property " +
                          std::to_string(dispId));
  }
  Changed();
}

void WebWaitWindow::ShowModeless() {
  if (state_.visible) return;
  // A STOP pressed before the window was shown belongs to no window.
  stop_->store(false);
  state_.visible = true;
  stopTimer_->SetEnabled(true);
  Changed();
}

void WebWaitWindow::Close() {
  if (!state_.visible) return;
  state_.visible = false;
  stopTimer_->SetEnabled(false);
  Changed();
}

void WebWaitWindow::PollStop() {
  if (!state_.visible || !stop_->exchange(false)) return;
  // The form closes the window in answer; nothing of this object is used afterwards.
  events_.OnStopClicked();
}

void WebWaitWindow::Changed() {
  if (changed_) changed_(state_);
}

}  // namespace marlin::panel

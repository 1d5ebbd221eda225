#include "ui/frm_wait_for_done.h"

#include "driver/host.h"

namespace marlin {
namespace {

WaitWindowLayout StoredLayout() {
  return {frmWaitForDone::kCaption,
          frmWaitForDone::kOperate,
          {"Off", "On"},
          frmWaitForDone::kStop,
          frmWaitForDone::kStopTextNumber};
}

template <class F>
void IgnoringErrors(F&& step) {
  try {
    step();
  } catch (...) {
    // The window's own handlers go on with the next step whatever fails.
  }
}

}  // namespace

frmWaitForDone::frmWaitForDone(Host& host) : host_(host) {
  view_ = host_.Windows().CreateWaitWindow(StoredLayout(), *this);
  Form_Load();
}

frmWaitForDone::~frmWaitForDone() {
  Unload();
  IgnoringErrors([&] { view_.reset(); });
}

void frmWaitForDone::Form_Load() {
  IgnoringErrors([&] { host_.Texts().ApplyTexts(*view_); });
  StopFlag = false;
  IgnoringErrors([&] { view_->SetIndicatorProperty(kLabelProperty, std::string(kOperate)); });
}

void frmWaitForDone::FormHide() { Unload(); }

void frmWaitForDone::MovingText(const std::string& strText) {
  if (Loaded()) view_->SetIndicatorProperty(kLabelProperty, strText);
}

void frmWaitForDone::DlgCaption(const std::string& strText) {
  if (Loaded()) view_->SetCaption(strText);
}

void frmWaitForDone::SetIndicatorColour(std::int32_t colour) {
  if (Loaded()) view_->SetIndicatorProperty(kColourProperty, colour);
}

void frmWaitForDone::Show() {
  if (Loaded()) view_->ShowModeless();
}

void frmWaitForDone::OnStopClicked() {
  StopFlag = true;
  Unload();
}

void frmWaitForDone::OnCloseRequest(std::int32_t reason) {
  if (reason == kCloseByOperator) StopFlag = true;
  Unload();
}

// Unloading a window the operator already closed does nothing.
void frmWaitForDone::Unload() {
  if (!Loaded()) return;
  unloaded_ = true;
  IgnoringErrors([&] { view_->Close(); });
}

}  // namespace marlin

#pragma once
// The wait window drawn with Win32: a modeless top-level window with an LED-style indicator
// (label and colour), a "STOP" button and a picture. The operator's clicks reach the form logic
// through WaitWindowEvents whenever the thread's messages are pumped.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "driver/host_services.h"
#include "ui/frm_wait_for_done.h"

namespace marlin::com {

class Win32WaitWindow final : public WaitWindowView {
 public:
  // Control names a host text table addresses.
  static constexpr const char* kFormName = "frmWaitForDone";
  static constexpr const char* kIndicatorName = frmWaitForDone::kIndicatorControl;
  static constexpr const char* kStopName = frmWaitForDone::kStopControl;
  static constexpr const char* kPictureName = frmWaitForDone::kPictureControl;
  static constexpr const wchar_t* kClassName = L"MarlinWaitWindow";
  // Child window ids of the controls.
  static constexpr int kIndicatorId = 101;
  static constexpr int kStopId = 102;
  static constexpr int kPictureId = 103;

  Win32WaitWindow(const WaitWindowLayout& layout, WaitWindowEvents& events);
  ~Win32WaitWindow() override;
  Win32WaitWindow(const Win32WaitWindow&) = delete;
  Win32WaitWindow& operator=(const Win32WaitWindow&) = delete;

  std::vector<std::string> ControlNames() const override;
  std::string ControlTag(const std::string& control) const override;
  void SetControlText(const std::string& control, const std::string& text) override;

  void SetCaption(const std::string& caption) override;
  std::string Caption() const override;
  void SetIndicatorProperty(std::int32_t dispId, const IndicatorValue& value) override;
  void ShowModeless() override;
  void Close() override;
  bool Visible() const override;

  // What is on screen, for checks.
  HWND Window() const { return window_; }
  HWND StopButton() const { return stop_; }
  std::string IndicatorLabel() const { return label_; }
  COLORREF IndicatorColour() const { return colour_; }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void DrawIndicator(const DRAWITEMSTRUCT& item) const;
  void CreateControls();

  WaitWindowEvents& events_;
  std::string caption_;
  std::string label_;
  std::string stopCaption_;
  std::string stopTag_;
  COLORREF colour_;
  HWND window_ = nullptr;
  HWND indicator_ = nullptr;
  HWND stop_ = nullptr;
  HWND picture_ = nullptr;
};

}  // namespace marlin::com

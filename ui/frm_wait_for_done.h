#pragma once
// The wait window shown while a PA4520 switches: an indicator with the target as label and
// colour, and a "STOP" button that only removes the window.
#include <cstdint>
#include <memory>
#include <string>

#include "driver/host_services.h"

namespace marlin {

class Host;

class frmWaitForDone final : public WaitWindowEvents {
 public:
  static constexpr const char* kCaption = "Wait %s for";
  // The window's controls, as hosts name them.
  static constexpr const char* kIndicatorControl = "cwInfo";
  static constexpr const char* kStopControl = "cmdStop";
  static constexpr const char* kPictureControl = "imgVexa";
  static constexpr const char* kOperate = "OPERATE";
  static constexpr const char* kPowerOff = "POWER OFF";
  static constexpr const char* kStop = "STOP";
  static constexpr const char* kStopTextNumber = "15607";
  static constexpr std::int32_t kLabelProperty = 3;
  static constexpr std::int32_t kColourProperty = 5;
  static constexpr std::int32_t kGreen = 65280;
  static constexpr std::int32_t kRed = 255;
  static constexpr std::int32_t kCloseByOperator = 0;

  // Creating the window runs its Load event. `host` draws it and outlives it.
  explicit frmWaitForDone(Host& host);
  ~frmWaitForDone() override;
  frmWaitForDone(const frmWaitForDone&) = delete;
  frmWaitForDone& operator=(const frmWaitForDone&) = delete;

  void FormHide();
  bool UserStop() const { return StopFlag; }
  void MovingText(const std::string& strText);
  void DlgCaption(const std::string& strText);

  // Driven by SetState between creation and showing.
  void SetIndicatorColour(std::int32_t colour);
  void Show();

  void OnStopClicked() override;
  void OnCloseRequest(std::int32_t reason) override;

  bool Loaded() const { return view_ != nullptr && !unloaded_; }

 private:
  void Form_Load();
  void Unload();

  Host& host_;
  // Kept until the form object goes: the view may be calling us when the operator closes it.
  std::unique_ptr<WaitWindowView> view_;
  bool unloaded_ = false;
  bool StopFlag = false;
};

}  // namespace marlin

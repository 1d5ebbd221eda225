// clsIAmpRemote ResetFault, SetState and GetState: the host's requests to switch the amplifier,
// reset its faults and read its state.
#include <memory>

#include "driver/cls_marlin.h"
#include "driver/host_registry.h"
#include "driver/procedure.h"
#include "ui/frm_wait_for_done.h"

namespace marlin {
namespace {

constexpr float kPowerOnPause = 15000;
constexpr float kAfterResetPause = 1000;
constexpr float kPA4520SettlingPause = 4000;
constexpr std::int32_t kCriticalOkOnly = 16;

}  // namespace

void clsMarlin::clsIAmpRemote_ResetFault() {
  Procedure proc(labels::kRemoteResetFault, Name);
  proc.Start();
  proc.Step([&] { ResetFault(); });
  proc.End();
}

std::int32_t clsMarlin::clsIAmpRemote_GetState() {
  Procedure proc(labels::kRemoteGetState, Name);
  proc.Start();
  std::string dropped;
  std::int32_t result = proc.Step([&] { return GetState(dropped); });
  proc.End();
  return result;
}

// One SetState call; the wait window it may show goes when the call ends, by whatever path.
class SetStateRequest {
 public:
  explicit SetStateRequest(clsMarlin& m) : m_(m) {}
  ~SetStateRequest() { HideWindow(); }
  SetStateRequest(const SetStateRequest&) = delete;
  SetStateRequest& operator=(const SetStateRequest&) = delete;

  void Run(std::int32_t NewState) {
    Procedure proc(labels::kSetState, m_.Name);
    proc.Start(trace_text::kNewState + clsMarlin::StateName(NewState));
    bool tooLow = false;
    bool fault = false;
    std::int32_t readBack = 0;
    std::string errorText;
    bool windowShown = false;
    const bool isPA4520 = m_.IsPA4520 == kTrue;

    if (isPA4520) {
      proc.Step([&] {
        windowShown = false;
        if (host::Message().Context()) {
          auto context = host::Message().Context();
          if (!context) {
            throw MarlinError(errors::kObjectNotSet,
                              "Object variable or With block variable not set");
          }
          windowShown = context->Enabled();
        }
      });
      if (windowShown) {
        proc.Step([&] { window_ = std::make_unique<frmWaitForDone>(); });
        const bool operate = NewState == state::kOperate;
        proc.Step([&] {
          window_->MovingText(operate ? frmWaitForDone::kOperate : frmWaitForDone::kPowerOff);
        });
        proc.Step([&] {
          window_->SetIndicatorColour(operate ? frmWaitForDone::kRed : frmWaitForDone::kGreen);
        });
        proc.Step([&] { window_->Show(); });
        proc.Step([&] { window_->DlgCaption(m_.Name); });
      }
    }

    if (!m_.IsRecognised()) {
      std::int32_t now = proc.Step([&] { return m_.clsIAmpRemote_GetState(); });
      if (now == state::kOff && NewState == state::kOperate) {
        proc.Step([&] { m_.SetNewState(state::kOn); });
        proc.Step([] { host::Tools().Wait(kPowerOnPause); });
        proc.Step([&] { m_.ResetFault(); });
        proc.Step([] { host::Tools().Wait(kAfterResetPause); });
        proc.Step([&] { m_.clsIAmpRemote_GetState(); });
      }
    }
    proc.Step([&] { m_.SetNewState(NewState); });
    if (isPA4520) proc.Step([] { host::Tools().Wait(kPA4520SettlingPause); });
    readBack = proc.Step([&] { return m_.GetState(errorText); });
    if (isPA4520 && windowShown) proc.Step([&] { HideWindow(); });

    tooLow = NewState == state::kOperate && readBack < state::kOperate;
    fault = NewState == state::kOperate && readBack == state::kFault;
    if (!errorText.empty() && isPA4520) {
      fault = true;
      proc.Step([&] { host::Windows().ShowMessageBox(errorText, m_.Name, kCriticalOkOnly); });
    }
    if (tooLow || fault) {
      proc.Step([&] {
        throw MarlinError(errors::kTransport, std::string(trace_text::kDevicePrefix) + m_.Name +
                                                  trace_text::kSeparator + errorText);
      });
    }
    proc.End();
  }

 private:
  void HideWindow() {
    if (!window_) return;
    window_->FormHide();
    window_.reset();
  }

  clsMarlin& m_;
  std::unique_ptr<frmWaitForDone> window_;
};

void clsMarlin::clsIAmpRemote_SetState(std::int32_t NewState) {
  SetStateRequest request(*this);
  request.Run(NewState);
}

}  // namespace marlin

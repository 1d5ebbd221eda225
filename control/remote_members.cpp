// clsIAmpRemote ResetFault, SetState and GetState: the host's requests to switch the amplifier,
// reset its faults and read its state.
#include <memory>

#include "driver/cls_marlin.h"
#include "driver/host.h"
#include "driver/procedure.h"
#include "driver/timings.h"
#include "ui/frm_wait_for_done.h"

namespace marlin {
namespace {

constexpr std::int32_t kCriticalOkOnly = 16;
constexpr const char* kNotConnected = "not connected";
constexpr const char* kNoAnswer = "no answer from the amplifier to the state read-back";

bool IsOffOnOrStandby(std::int32_t state) {
  return state == state::kOff || state == state::kOn || state == state::kStandby;
}

std::string StillOperating(std::int32_t requested) {
  return "state read back is Operate, not " + clsMarlin::StateName(requested);
}

}  // namespace

void clsMarlin::clsIAmpRemote_ResetFault() {
  Procedure proc(Services(), labels::kRemoteResetFault, Name);
  proc.Start();
  proc.Step([&] { ResetFault(); });
  proc.End();
}

std::int32_t clsMarlin::clsIAmpRemote_GetState() {
  Procedure proc(Services(), labels::kRemoteGetState, Name);
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
    Procedure proc(m_.Services(), labels::kSetState, m_.Name);
    proc.Start(trace_text::kNewState + clsMarlin::StateName(NewState));
    // Nothing would reach the amplifier; saying "done" would leave it as it is.
    proc.Step([&] {
      if (m_.Status != 1) throw Failure(kNotConnected);
    });
    bool windowShown = false;
    const bool isPA4520 = m_.IsPA4520 == kTrue;

    if (isPA4520) {
      proc.Step([&] {
        windowShown = false;
        if (m_.Services().Message().Context()) {
          auto context = m_.Services().Message().Context();
          if (!context) {
            throw MarlinError(errors::kObjectNotSet,
                              "Object variable or With block variable not set");
          }
          windowShown = context->Enabled();
        }
      });
      if (windowShown) {
        proc.Step([&] { window_ = std::make_unique<frmWaitForDone>(m_.Services()); });
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
        proc.Step([&] { m_.Pause(WaitId::PowerOn, timing::kPowerOnPause); });
        proc.Step([&] { m_.ResetFault(); });
        proc.Step([&] { m_.Pause(WaitId::AfterReset, timing::kAfterResetPause); });
        proc.Step([&] { m_.clsIAmpRemote_GetState(); });
      }
    }
    proc.Step([&] { m_.SetNewState(NewState); });
    if (isPA4520)
      proc.Step([&] { m_.Pause(WaitId::PA4520Settling, timing::kPA4520SettlingPause); });
    // The read-back and its judgement are one unit: a retry reads the state again.
    proc.Step([&] { ReadBackAndJudge(NewState, isPA4520, windowShown); });
    proc.End();
  }

 private:
  void ReadBackAndJudge(std::int32_t NewState, bool isPA4520, bool windowShown) {
    std::string errorText;
    bool answered = false;
    const std::int32_t readBack = m_.GetState(errorText, answered);
    if (isPA4520 && windowShown) HideWindow();

    const bool operate = NewState == state::kOperate;
    const bool tooLow = operate && readBack < state::kOperate;
    bool fault = operate && readBack == state::kFault;
    if (!errorText.empty() && isPA4520) {
      fault = true;
      m_.Services().Windows().ShowMessageBox(errorText, m_.Name, kCriticalOkOnly);
    }
    if (tooLow || fault) throw Failure(errorText);
    if (IsOffOnOrStandby(NewState)) {
      // A dead link reads as Off; only an answer can confirm the request.
      if (!answered) throw Failure(kNoAnswer);
      if (readBack == state::kOperate) throw Failure(StillOperating(NewState));
    }
  }

  MarlinError Failure(const std::string& text) const {
    return MarlinError(errors::kTransport, std::string(trace_text::kDevicePrefix) + m_.Name +
                                               trace_text::kSeparator + text);
  }

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

// Preparing a recognised amplifier on the LAN route, and the fault reset.
#include "driver/cls_marlin.h"
#include "driver/host.h"
#include "driver/procedure.h"
#include "driver/timings.h"
#include "io/scpi.h"

namespace marlin {
namespace {
constexpr double kLowestFirmwareForTimeout = 2.2;
constexpr std::int32_t kInformationStyle = 64;
constexpr std::int32_t kMessageTimeout = 10000;

std::string RestartMessage(const std::string& name) {
  return "Restart " + name + " to activate new LAN timeout value!";
}
}  // namespace

void clsMarlin::InitDevice() {
  Procedure proc(Services(), labels::kInitDevice, Name);
  proc.Start();
  bool identified = IsPA4413 == kTrue || NotPA4413 == kTrue || IsPA4520 == kTrue;
  // Status 0: nothing would reach the instrument, so no restart can be owed either. Any other
  // Status lets the command through though its queries come back empty (Status 2), so the
  // operator is told to restart.
  if (Status != 0 && Interface == route::kLan && FirmwareVersion >= kLowestFirmwareForTimeout &&
      identified) {
    const std::string query = scpi::Line(scpi::kLanTimeoutQuery);
    proc.Step([&] { ReadCmdResponse(query, scpi::kQueryWaitTime); });
    proc.Step([&] { SendCmdString(scpi::Line(scpi::kLanTimeoutSet)); });
    std::string second = proc.Step([&] { return ReadCmdResponse(query, scpi::kQueryWaitTime); });
    if (second.find(scpi::kLanTimeoutExpected) == std::string::npos) {
      proc.Step([&] {
        std::int32_t style = kInformationStyle;
        Services().Message().ShowMessage(RestartMessage(Name), style, Name, kMessageTimeout);
      });
    }
  }
  proc.End();
}

void clsMarlin::ResetFault() {
  Procedure proc(Services(), labels::kResetFault, Name);
  proc.Start();
  proc.Step([&] { SendCmdString(scpi::Line(scpi::kClearStatus)); });
  proc.Step([&] { Pause(WaitId::ResetFault, timing::kResetPause); });
  proc.End();
}

}  // namespace marlin

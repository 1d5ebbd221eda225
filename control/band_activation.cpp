// Selects the configured band path: lock check, switch, confirmation, error-queue checks and the
// class and mode settings of the PA4413.
#include "driver/cls_marlin.h"
#include "driver/host.h"
#include "driver/procedure.h"
#include "driver/text_numbers.h"
#include "driver/timings.h"
#include "io/scpi.h"

namespace marlin {
namespace {

constexpr std::int32_t kPathNotSetText = 44081;
constexpr double kLowestFirmwareForClassAndMode = 3.3;
constexpr std::int32_t kNoBand = -1;
constexpr const char* kLocalOwner = "LOC";
constexpr const char* kFreeOwner = "NONE";
constexpr const char* kReportsError = " reports error: ";

std::string LockRefusal(const std::string& owner, const std::string& name) {
  return "<" + owner + ">:Switching could not be executed because " + name +
         " amplifier is not in REMOTE mode!";
}

// The band number an answer gives: -1 for none (empty, "\r\n" or "NONE"), else the number it
// reads as.
std::int32_t BandNumber(const std::string& raw) {
  if (scpi::SaysNoBand(raw)) return kNoBand;
  return AnswerToWholeNumber(AnswerText(raw));
}

}  // namespace

std::int32_t clsMarlin::ActivateBand() {
  Procedure proc(Services(), labels::kActivateBand, Name);
  proc.Start();
  const std::string bandQuery = scpi::Line(scpi::kBandQuery);
  auto readBand = [&] {
    return proc.Step([&] { return BandNumber(ReadCmdResponse(bandQuery, scpi::kQueryWaitTime)); });
  };
  auto checkErrorQueue = [&] {
    proc.Step([&] {
      std::string answer(
          AnswerText(ReadCmdResponse(scpi::Line(scpi::kErrorQuery), scpi::kQueryWaitTime)));
      if (answer.empty()) answer = "0";
      if (LeadingNumber(answer) != 0) {
        SendCmdString(scpi::Line(scpi::kClearStatus));
        throw MarlinError(errors::kBandActivation, Name + kReportsError + answer);
      }
    });
  };

  std::int32_t result = readBand();
  const std::int32_t wanted = AmplParams.BandPath;
  if (wanted > 0) {
    if (result != wanted) {
      proc.Step([&] {
        std::string owner(
            AnswerText(ReadCmdResponse(scpi::Line(scpi::kLockOwnerQuery), scpi::kQueryWaitTime)));
        if (TrimSpaces(owner).empty()) owner = kLocalOwner;
        if (owner.substr(0, 4) != kFreeOwner) {
          throw MarlinError(errors::kBandActivation, LockRefusal(owner, Name));
        }
      });
      proc.Step([&] { SendCmdString(scpi::Line(scpi::kBandSet + Decimal(wanted))); });
      proc.Step([this] { Pause(WaitId::BandSwitch, timing::kBandSwitchPause); });
      bool reached = false;
      for (std::int32_t polls = 0; !reached && polls <= timing::kBandPollLimit; ++polls) {
        proc.Step([this] { Pause(WaitId::BandSwitch, timing::kPollInterval); });
        reached = readBand() == wanted;
      }
      if (!reached) {
        proc.Step([&] {
          throw MarlinError(errors::kBandActivation, Services().Texts().GetText(kPathNotSetText));
        });
      }
      checkErrorQueue();
    }
    if (IsPA4413 == kTrue && FirmwareVersion >= kLowestFirmwareForClassAndMode) {
      const std::string band = scpi::kBandPrefix + Decimal(wanted);
      proc.Step([&] {
        SendCmdString(scpi::Line(band + scpi::kClassSuffix + Decimal(AmplParams.OperatingClass)));
      });
      proc.Step([&] {
        SendCmdString(scpi::Line(band + scpi::kModeSuffix + Decimal(AmplParams.OutputMode)));
      });
    }
    checkErrorQueue();
    result = wanted;
  }
  proc.End();
  return result;
}

}  // namespace marlin

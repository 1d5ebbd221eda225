// Moves the amplifier into a power state with the command sequence of its model, confirming
// slow changes by polling.
#include "driver/cls_marlin.h"
#include "driver/host.h"
#include "driver/procedure.h"
#include "driver/text_numbers.h"
#include "driver/timings.h"
#include "io/scpi.h"

namespace marlin {
namespace {

constexpr std::int32_t kLowestBand = 1;
constexpr std::int32_t kHighestBand = 10;

bool Contains(const std::string& text, char c) { return text.find(c) != std::string::npos; }

// A band path is active when the answer reads as a band number of 1 or more. Any other text is
// judged by its first character, which must be a digit: a word cannot be converted.
bool BandPathActive(const std::string& raw) {
  switch (scpi::ReadBandAnswer(raw)) {
    case scpi::BandAnswer::NoPath:
      return false;
    case scpi::BandAnswer::Path:
      return true;
    case scpi::BandAnswer::NotANumber:
      break;
  }
  return AnswerToWholeNumber(AnswerText(raw).substr(0, 1)) >= 1;
}

}  // namespace

void clsMarlin::SetNewState(std::int32_t NewState) {
  Procedure proc(Services(), labels::kSetNewState, Name);
  proc.Start(trace_text::kNewState + StateName(NewState));
  auto send = [&](const std::string& text) { proc.Step([&] { SendCmdString(scpi::Line(text)); }); };
  auto query = [&](const char* text) {
    return proc.Step([&] { return ReadCmdResponse(scpi::Line(text), scpi::kQueryWaitTime); });
  };
  auto wait = [&](WaitId id, float ms) { proc.Step([&] { Pause(id, ms); }); };
  auto confirm = [&](const char* q, const char* expected, std::int32_t limit) {
    proc.Step([&] { WaitForComplete(q, expected, limit); });
  };

  std::int32_t target = NewState;
  if (IsRecognised() && NewState != state::kOperate) target = state::kStandby;

  switch (target) {
    case state::kOff:
      send(scpi::kPowerOff);
      confirm(scpi::kPowerQuery, "0", timing::kPowerConfirmation);
      break;
    case state::kOn:
      if (Contains(query(scpi::kPowerQuery), '0')) {
        send(scpi::kPowerOn);
        confirm(scpi::kPowerQuery, "1", timing::kPowerConfirmation);
      } else {
        if (Contains(query(scpi::kOutputQuery), '1')) {
          send(scpi::kOutputOff);
          confirm(scpi::kOutputQuery, "0", timing::kOutputOffConfirmation);
        }
        send(scpi::kBandNone);
      }
      break;
    case state::kStandby: {
      std::string band = query(scpi::kBandQuery);
      if (proc.Step([&] { return BandPathActive(band); })) {
        send(scpi::kOutputOff);
        wait(WaitId::OutputOff, timing::kOutputOffPause);
        confirm(scpi::kOutputQuery, "0", timing::kOutputOffConfirmation);
      }
      break;
    }
    case state::kOperate: {
      std::int32_t band = proc.Step([&] { return ActivateBand(); });
      if (proc.Step(
              [&] { return Services().Tools().IsBetween(kLowestBand, band, kHighestBand); })) {
        send(scpi::kModulationPrefix + Decimal(band) + scpi::kModulationSuffix);
        wait(WaitId::Modulation, timing::kModulationPause);
        send(scpi::kOutputOn);
        const bool pa4413 = IsPA4413 == kTrue;
        wait(pa4413 ? WaitId::OutputOnPA4413 : WaitId::OutputOn,
             pa4413 ? timing::kOutputOnPausePA4413 : timing::kOutputOnPause);
        confirm(scpi::kOutputQuery, "1", timing::kOutputOnConfirmation);
      }
      break;
    }
    default:
      break;
  }
  proc.End();
}

}  // namespace marlin

// The state query: error queue, power, band path and RF output reduced to one state code.
#include "driver/cls_marlin.h"
#include "driver/procedure.h"
#include "driver/text_numbers.h"
#include "io/scpi.h"

namespace marlin {
namespace {
constexpr double kClearedOnceError = -221;
}  // namespace

std::string clsMarlin::StateName(const std::int32_t& StateCode) {
  switch (StateCode) {
    case state::kOff:
      return "Off";
    case state::kOn:
      return "On";
    case state::kStandby:
      return "Standby";
    case state::kOperate:
      return "Operate";
    case state::kFault:
      return "Fault";
    default:
      return {};
  }
}

std::int32_t clsMarlin::GetState(std::string& ErrorText) {
  bool answered = false;
  return GetState(ErrorText, answered);
}

std::int32_t clsMarlin::GetState(std::string& ErrorText, bool& Answered) {
  Answered = false;
  Procedure proc(Services(), labels::kGetState, Name);
  proc.Start();
  std::string answer;
  // A query that fails counts as an empty answer, so a dead link never reads as a live state.
  auto query = [&](const char* text) {
    answer.clear();
    proc.Absorb([&] { answer = ReadCmdResponse(scpi::Line(text), scpi::kQueryWaitTime); });
    if (!AnswerText(answer).empty()) Answered = true;  // the route's fill alone is no answer
  };
  auto has = [&](char c) { return answer.find(c) != std::string::npos; };
  // A band number reads as one, so band 10 is a path; an answer that is no number keeps the
  // test for a "0" anywhere.
  auto noBandPath = [&] {
    switch (scpi::ReadBandAnswer(answer)) {
      case scpi::BandAnswer::NoPath:
        return true;
      case scpi::BandAnswer::Path:
        return false;
      case scpi::BandAnswer::NotANumber:
        break;
    }
    return has('0');
  };

  std::int32_t result = state::kOff;
  query(scpi::kErrorQuery);
  if (LeadingNumber(answer) == kClearedOnceError) {
    proc.Absorb([&] { SendCmdString(scpi::Line(scpi::kClearStatus)); });
    query(scpi::kErrorQuery);
  }
  if (LeadingNumber(answer) < 0) {
    result = state::kFault;
    ErrorText = std::string(AnswerText(answer));
  } else {
    ErrorText.clear();
    if (IsRecognised()) {
      answer = "1";
    } else {
      query(scpi::kPowerQuery);
    }
    if (has('1')) {
      query(scpi::kBandQuery);
      if (noBandPath()) {
        result = IsRecognised() ? state::kOff : state::kOn;
      } else {
        query(scpi::kOutputQuery);
        if (has('1')) {
          result = state::kOperate;
        } else {
          result = IsRecognised() ? state::kOff : state::kStandby;
        }
      }
    }
  }
  proc.End();
  return result;
}

}  // namespace marlin

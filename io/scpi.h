#pragma once
// The SCPI texts the driver sends, and the answers it recognises, each defined once. Every line
// goes out with "\r\n".
#include <string>
#include <string_view>

#include "driver/text_numbers.h"
#include "driver/timings.h"

namespace marlin::scpi {

inline constexpr const char* kTerminator = "\r\n";
inline std::string Line(const std::string& text) { return text + kTerminator; }

inline constexpr const char* kIdentify = "*IDN?";
inline constexpr const char* kClearStatus = "*CLS";
inline constexpr const char* kErrorQuery = "SYST:ERR?";
inline constexpr const char* kPowerQuery = "SYST:POW:STAT?";
inline constexpr const char* kPowerOn = "SYST:POW:STAT ON";
inline constexpr const char* kPowerOff = "SYST:POW:STAT OFF";
inline constexpr const char* kBandQuery = "RF:BAND:PATH?";
inline constexpr const char* kBandSet = "RF:BAND:PATH ";  // followed by the band number
inline constexpr const char* kBandNone = "RF:BAND:PATH 0";
inline constexpr const char* kOutputQuery = "RF:OUTP:STAT?";
inline constexpr const char* kOutputOn = "RF:OUTP:STAT ON";
inline constexpr const char* kOutputOff = "RF:OUTP:STAT OFF";
inline constexpr const char* kLockOwnerQuery = "SYST:LOCK:OWN?";
inline constexpr const char* kLanTimeoutQuery = "SYST:SCPI:TIME?";
inline constexpr const char* kLanTimeoutSet = "SYST:SCPI:TIME 1D";
inline constexpr const char* kLanTimeoutExpected = "1D";
// "CONT" + band + ":AMOD:FGA 0"; "RF" + band + ":OPER:CLA " + class; "RF" + band + ":OUTP:MOD " +
// mode
inline constexpr const char* kModulationPrefix = "CONT";
inline constexpr const char* kModulationSuffix = ":AMOD:FGA 0";
inline constexpr const char* kBandPrefix = "RF";
inline constexpr const char* kClassSuffix = ":OPER:CLA ";
inline constexpr const char* kModeSuffix = ":OUTP:MOD ";

// The band query's answer for "no path active" on amplifiers that do not answer "0"; an empty
// answer (the route's fill alone) says the same.
inline constexpr std::string_view kNoBandAnswer = "NONE";
inline bool SaysNoBand(std::string_view answer) {
  const std::string_view text = TrimSpaces(AnswerText(answer));
  return text.empty() || text == kNoBandAnswer;
}

// What a band query's answer says once the route's fill is removed: "NONE", nothing or the
// number 0 name no path; a number of 1 or more names one, whatever its digits ("10" included).
// A text that is not a plain number is left to the caller's own test.
enum class BandAnswer { NoPath, Path, NotANumber };
inline BandAnswer ReadBandAnswer(std::string_view answer) {
  if (SaysNoBand(answer)) return BandAnswer::NoPath;
  const std::string_view digits = TrimSpaces(AnswerText(answer));
  bool nonZero = false;
  for (char c : digits) {
    if (c < '0' || c > '9') return BandAnswer::NotANumber;
    nonZero = nonZero || c != '0';
  }
  return nonZero ? BandAnswer::Path : BandAnswer::NoPath;
}

// Every query goes out with this pause between write and read on the VISA route.
inline constexpr int kQueryWaitTime = timing::kQueryPause;

}  // namespace marlin::scpi

#include "sim/amplifier_config.h"

#include <algorithm>
#include <stdexcept>
#include <string_view>

#include "sim/scpi_values.h"

namespace marlin::sim {

namespace {

[[noreturn]] void Reject(std::string_view field, std::string_view value, std::string_view why) {
  throw std::invalid_argument(std::string(field) + " \"" + std::string(value) +
                              "\": " + std::string(why));
}

void CheckDuration(std::string_view field, Clock::Duration value) {
  if (value < Clock::Duration::zero())
    Reject(field, std::to_string(ToMilliseconds(value)) + " ms", "must not be negative");
}

void CheckEntry(std::string_view field, const ErrorEntry& entry) {
  // Any other byte may stand in an entry: real amplifiers send escape sequences and Latin-1 too.
  for (char c : entry.text)
    if (c == '\r' || c == '\n' || c == '\0')
      Reject(field, entry.text, "text must not hold a line end or NUL");
}

}  // namespace

void ValidateFaults(const Faults& faults) {
  for (const auto& entry : faults.errors) CheckEntry("error entry", entry);
  if (faults.fault) CheckEntry("fault", *faults.fault);
  if (faults.overlongBytes > kMaxOverlongBytes)
    Reject("over-long answer size", std::to_string(faults.overlongBytes),
           "at most " + std::to_string(kMaxOverlongBytes) + " bytes");
  CheckDuration("answer delay", faults.answerDelay);
}

void Validate(const AmplifierConfig& config) {
  if (std::find(std::begin(kModels), std::end(kModels), config.model) == std::end(kModels))
    Reject("model", config.model, "expected PA4400, PA4413, PA4415 or PA4520");
  if (config.serial.empty() || !IsAnswerSafe(config.serial))
    Reject("serial", config.serial, "needs printable characters without , ; or quotes");
  if (!IsVersion(config.firmware))
    Reject("firmware", config.firmware, "expected a version such as 2.20");
  CheckDuration("power-on time", config.timings.powerOn);
  CheckDuration("power-off time", config.timings.powerOff);
  CheckDuration("band switching time", config.timings.bandSwitch);
  CheckDuration("RF-on time", config.timings.rfOn);
  CheckDuration("RF-off time", config.timings.rfOff);
  const InitialState& initial = config.initial;
  if (initial.bandPath < 0 || initial.bandPath > 10)
    Reject("band path", std::to_string(initial.bandPath), "expected 0 (none) to 10");
  if (initial.bandPath != 0 && !initial.powerOn)
    Reject("band path", std::to_string(initial.bandPath), "needs mains power on");
  if (initial.rfOn && (!initial.powerOn || initial.bandPath == 0))
    Reject("RF output", "ON", "needs mains power on and a band path");
  if (!initial.lockOwner.empty() && !IsAnswerSafe(initial.lockOwner))
    Reject("lock owner", initial.lockOwner, "needs printable characters without , ; or quotes");
  if (std::find(std::begin(kNoBandAnswers), std::end(kNoBandAnswers), config.noBandAnswer) ==
      std::end(kNoBandAnswers))
    Reject("answer without a band path", config.noBandAnswer, "expected 0, NONE or an empty text");
  if (!NormalizeLanTimeout(initial.lanTimeout))
    Reject("LAN timeout", initial.lanTimeout, "expected 1 to 3 digits and S, M, H or D");
  ValidateFaults(config.faults);
  if (config.errorQueueDepth < 1) Reject("error queue depth", "0", "must be at least 1");
}

}  // namespace marlin::sim

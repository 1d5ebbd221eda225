#include "sim/command_table.h"

#include <optional>

#include "sim/scpi_texts.h"
#include "sim/scpi_values.h"

namespace marlin::sim {

namespace {

std::string Flag(bool on) { return on ? "1" : "0"; }

std::optional<std::string> Identification(Instrument& in, const Call&) {
  return IdentificationOf(in.config);
}

void ClearStatus(Instrument& in, const Call&) {
  in.errors.Clear();
  in.state.ClearFault();
}

std::optional<std::string> NextError(Instrument& in, const Call&) {
  // A latched fault keeps reporting itself until it is cleared.
  if (in.errors.Empty() && in.state.Fault()) return FormatErrorAnswer(*in.state.Fault());
  return FormatErrorAnswer(in.errors.Pop());
}

std::optional<bool> BooleanOf(Instrument& in, const Call& call) {
  auto value = ParseBoolean(call.parameter);
  if (!value) in.errors.Push(scpi_error::kIllegalValue, call.parameter);
  return value;
}

// A whole number in [low, high]; -104 when it is no number, -222 when out of range.
std::optional<int> IntegerOf(Instrument& in, const Call& call, long low, long high) {
  auto value = ParseInteger(call.parameter);
  if (!value) {
    in.errors.Push(scpi_error::kDataType, call.parameter);
    return std::nullopt;
  }
  if (*value < low || *value > high) {
    in.errors.Push(scpi_error::kDataOutOfRange, call.parameter);
    return std::nullopt;
  }
  return static_cast<int>(*value);
}

// The band of a CONTn or RFn header; -114 outside 1 to 10.
std::optional<int> BandSuffix(Instrument& in, const Call& call) {
  const long band = call.suffixes.at(0);
  if (band < 1 || band > kBandPaths) {
    in.errors.Push(scpi_error::kSuffixOutOfRange, std::to_string(band));
    return std::nullopt;
  }
  return static_cast<int>(band);
}

void Refuse(Instrument& in, const std::optional<std::string>& conflict) {
  if (conflict) in.errors.Push(scpi_error::kSettingsConflict, *conflict);
}

std::optional<std::string> PowerState(Instrument& in, const Call&) {
  return Flag(in.state.PowerOn());
}
void SetPowerState(Instrument& in, const Call& call) {
  if (auto on = BooleanOf(in, call)) Refuse(in, in.state.SetPower(*on, in.now));
}

std::optional<std::string> BandPath(Instrument& in, const Call&) {
  const int band = in.state.BandPath();
  return band == 0 ? in.config.noBandAnswer : std::to_string(band);
}
void SetBandPath(Instrument& in, const Call& call) {
  if (auto band = IntegerOf(in, call, 0, kBandPaths))
    Refuse(in, in.state.SetBandPath(*band, in.now, in.faults.bandPathStuck));
}

std::optional<std::string> RfOutput(Instrument& in, const Call&) { return Flag(in.state.RfOn()); }
void SetRfOutput(Instrument& in, const Call& call) {
  if (auto on = BooleanOf(in, call)) Refuse(in, in.state.SetRfOutput(*on, in.now));
}

std::optional<std::string> LockOwner(Instrument& in, const Call&) { return in.state.lockOwner; }

std::optional<std::string> LanTimeout(Instrument& in, const Call&) {
  return in.state.LanTimeoutActive();
}
void SetLanTimeout(Instrument& in, const Call& call) {
  auto value = NormalizeLanTimeout(call.parameter);
  if (!value) {
    in.errors.Push(scpi_error::kIllegalValue, call.parameter);
    return;
  }
  in.state.SetLanTimeout(*value);
}

std::optional<std::string> Modulation(Instrument& in, const Call& call) {
  auto band = BandSuffix(in, call);
  if (!band) return std::nullopt;
  return Flag(in.state.modulation[*band] != 0);
}
void SetModulation(Instrument& in, const Call& call) {
  auto band = BandSuffix(in, call);
  auto on = band ? BooleanOf(in, call) : std::nullopt;
  if (on) in.state.modulation[*band] = *on ? 1 : 0;
}

// Operating class and output mode take 0 to 3.
constexpr long kHighestSetting = 3;

std::optional<std::string> OperatingClass(Instrument& in, const Call& call) {
  auto band = BandSuffix(in, call);
  if (!band) return std::nullopt;
  return std::to_string(in.state.operatingClass[*band]);
}
void SetOperatingClass(Instrument& in, const Call& call) {
  auto band = BandSuffix(in, call);
  auto value = band ? IntegerOf(in, call, 0, kHighestSetting) : std::nullopt;
  if (value) in.state.operatingClass[*band] = *value;
}

std::optional<std::string> OutputMode(Instrument& in, const Call& call) {
  auto band = BandSuffix(in, call);
  if (!band) return std::nullopt;
  return std::to_string(in.state.outputMode[*band]);
}
void SetOutputMode(Instrument& in, const Call& call) {
  auto band = BandSuffix(in, call);
  auto value = band ? IntegerOf(in, call, 0, kHighestSetting) : std::nullopt;
  if (value) in.state.outputMode[*band] = *value;
}

// Class and mode per band came with PA4413 firmware 3.3.
bool HasClassAndMode(const AmplifierConfig& config) {
  return config.model == "PA4413" && VersionNumber(config.firmware) >= 3.3;
}

}  // namespace

std::string IdentificationOf(const AmplifierConfig& config) {
  return std::string(kMaker) + "," + config.model + "," + config.serial + "," +
         std::string(kFirmwarePrefix) + config.firmware;
}

const std::vector<CommandEntry>& CommandTable() {
  static const std::vector<CommandEntry> table = {
      {HeaderPattern("*IDN"), Identification},
      {HeaderPattern("*CLS"), nullptr, ClearStatus, false, true},
      {HeaderPattern("SYSTem:ERRor[:NEXT]"), NextError},
      {HeaderPattern("SYSTem:POWer[:STATe]"), PowerState, SetPowerState},
      {HeaderPattern("RF:BAND:PATH"), BandPath, SetBandPath},
      {HeaderPattern("RF:OUTPut[:STATe]"), RfOutput, SetRfOutput},
      {HeaderPattern("SYSTem:LOCK:OWNer"), LockOwner},
      {HeaderPattern("SYSTem:SCPI:TIMEout"), LanTimeout, SetLanTimeout},
      {HeaderPattern("CONTrol#:AMODulation:FGA"), Modulation, SetModulation},
      {HeaderPattern("RF#:OPERation:CLAss"), OperatingClass, SetOperatingClass, true, false,
       HasClassAndMode},
      {HeaderPattern("RF#:OUTPut:MODe"), OutputMode, SetOutputMode, true, false, HasClassAndMode},
  };
  return table;
}

}  // namespace marlin::sim

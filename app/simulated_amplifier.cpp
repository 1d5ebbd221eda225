#include "app/simulated_amplifier.h"

#include <algorithm>
#include <map>
#include <optional>

#include "driver/records.h"
#include "host/device_list.h"
#include "host/gpib_prologix.h"
#include "sim/amplifier.h"
#include "sim/gateway_front.h"
#include "sim/options.h"
#include "sim/tcp_front.h"
#include "text/quoted_string.h"

namespace marlin::cli {
namespace {

using sim::kLoopback;

std::string Key(const char* key, const std::string& value) {
  return std::string(key) + " = " + value + "\n";
}

// A device name as a key of the list: bare where TOML allows it, else quoted.
std::string TableKey(const std::string& name) {
  const bool bare = !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-';
  });
  return bare ? name : text::TomlString(name);
}

}  // namespace

SimulatedAmplifier::SimulatedAmplifier(const std::string& model, Route route,
                                       const std::vector<std::string>& faults,
                                       std::shared_ptr<Clock> clock)
    : route_(route) {
  sim::AmplifierConfig config;
  config.model = model;
  std::optional<std::string> lockOwner;
  for (const std::string& spec : faults) sim::ApplyFaultSpec(spec, config.faults, lockOwner);
  if (lockOwner) config.initial.lockOwner = *lockOwner;
  // The driver powers on only the family's default model; the others stand by with mains on.
  config.initial.powerOn = model != sim::kDefaultModel;
  amp_ = std::make_shared<sim::Amplifier>(config, std::move(clock));
  if (route == Route::Gpib) {
    gateway_ = std::make_unique<sim::GatewayFront>(
        std::map<int, std::shared_ptr<sim::Amplifier>>{{kGpibAddress, amp_}}, kLoopback);
  } else {
    tcp_ = std::make_unique<sim::TcpFront>(amp_, kLoopback);
  }
}

SimulatedAmplifier::~SimulatedAmplifier() { Stop(); }

void SimulatedAmplifier::Stop() {
  if (gateway_) gateway_->Stop();
  if (tcp_) tcp_->Stop();
}

std::string SimulatedAmplifier::DeviceEntry(const std::string& device,
                                            const std::string& description) const {
  std::string board;
  std::string entry = "[" + std::string(device_keys::kDevices) + "." + TableKey(device) + "]\n";
  if (route_ == Route::Gpib) {
    const std::string backend =
        std::string(kPrologixScheme) + "://" + kLoopback + ":" + std::to_string(gateway_->Port());
    board = "[" + std::string(device_keys::kGpib) + "]\n" +
            Key((std::string(device_keys::kBoardPrefix) + "0").c_str(), text::TomlString(backend)) +
            "\n";
    entry += Key(device_keys::kInterface, std::to_string(route::kGpibFirst)) +
             Key(device_keys::kAddress, std::to_string(kGpibAddress));
  } else if (route_ == Route::Lan) {
    const std::string endpoint = std::string(kLoopback) + ":" + std::to_string(tcp_->Port());
    entry += Key(device_keys::kInterface, std::to_string(route::kLan)) +
             Key(device_keys::kLanAddress, text::TomlString(endpoint));
  } else {
    const std::string resource =
        std::string("TCPIP0::") + kLoopback + "::" + std::to_string(tcp_->Port()) + "::SOCKET";
    entry += Key(device_keys::kInterface, std::to_string(route::kVisa)) +
             Key(device_keys::kVisaResource, text::TomlString(resource));
  }
  entry += Key(device_keys::kDescription, text::TomlString(description));
  return board + entry;
}

std::size_t SimulatedAmplifier::Clients() const {
  return gateway_ ? gateway_->ClientCount() : tcp_->ClientCount();
}

std::string SimulatedAmplifier::Listening() const {
  const sim::AmplifierConfig& config = amp_->Config();
  const std::string who = config.model + " serial " + config.serial + " (mains power " +
                          (config.initial.powerOn ? "on" : "off") + ")";
  if (gateway_) {
    return who + " at GPIB address " + std::to_string(kGpibAddress) + " behind a GPIB gateway on " +
           kLoopback + ":" + std::to_string(gateway_->Port());
  }
  return who + " on " + kLoopback + ":" + std::to_string(tcp_->Port());
}

}  // namespace marlin::cli

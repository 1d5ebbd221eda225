#include "app/demo_simulator.h"

#include <cstdlib>
#include <fstream>
#include <optional>
#include <stdexcept>

#include "driver/records.h"
#include "host/device_list.h"
#include "host/gpib_prologix.h"
#include "platform/temporary_folder.h"
#include "sim/amplifier.h"
#include "sim/gateway_front.h"
#include "sim/options.h"
#include "sim/tcp_front.h"
#include "text/quoted_string.h"

namespace marlin::cli {
namespace {

using sim::kLoopback;

std::filesystem::path MakeFolder() {
  try {
    return platform::MakeTemporaryFolder("marlinctl-demo-");
  } catch (const std::runtime_error& e) {
    throw std::runtime_error(std::string("the demo's device list: ") + e.what());
  }
}

std::string Key(const char* key, const std::string& value) {
  return std::string(key) + " = " + value + "\n";
}

}  // namespace

DemoSimulator::DemoSimulator(const std::string& model, Route route,
                             const std::vector<std::string>& faults, std::shared_ptr<Clock> clock)
    : folder_(MakeFolder()), file_(folder_ / "devices.toml") {
  sim::AmplifierConfig config;
  config.model = model;
  std::optional<std::string> lockOwner;
  for (const std::string& spec : faults) sim::ApplyFaultSpec(spec, config.faults, lockOwner);
  if (lockOwner) config.initial.lockOwner = *lockOwner;
  // The driver powers on only the family's default model; the others stand by with mains on.
  config.initial.powerOn = model != sim::kDefaultModel;
  amp_ = std::make_shared<sim::Amplifier>(config, std::move(clock));

  std::string device = "[" + std::string(device_keys::kDevices) + "." + kDevice + "]\n";
  if (route == Route::Gpib) {
    gateway_ = std::make_unique<sim::GatewayFront>(
        std::map<int, std::shared_ptr<sim::Amplifier>>{{kGpibAddress, amp_}}, kLoopback);
    const std::string backend =
        std::string(kPrologixScheme) + "://" + kLoopback + ":" + std::to_string(gateway_->Port());
    text_ = "[" + std::string(device_keys::kGpib) + "]\n" +
            Key((std::string(device_keys::kBoardPrefix) + "0").c_str(), text::TomlString(backend));
    device += Key(device_keys::kInterface, std::to_string(route::kGpibFirst)) +
              Key(device_keys::kAddress, std::to_string(kGpibAddress));
  } else {
    tcp_ = std::make_unique<sim::TcpFront>(amp_, kLoopback);
    const std::string endpoint = std::string(kLoopback) + ":" + std::to_string(tcp_->Port());
    if (route == Route::Lan) {
      device += Key(device_keys::kInterface, std::to_string(route::kLan)) +
                Key(device_keys::kLanAddress, text::TomlString(endpoint));
    } else {
      const std::string resource =
          std::string("TCPIP0::") + kLoopback + "::" + std::to_string(tcp_->Port()) + "::SOCKET";
      device += Key(device_keys::kInterface, std::to_string(route::kVisa)) +
                Key(device_keys::kVisaResource, text::TomlString(resource));
    }
  }
  device +=
      Key(device_keys::kDescription, text::TomlString("Simulated " + model + " (marlinctl demo)"));
  text_ += (text_.empty() ? "" : "\n") + device;
  std::ofstream out(file_, std::ios::binary | std::ios::trunc);
  out << text_;
  out.close();
  if (!out) throw std::runtime_error("cannot write the demo's device list " + file_.string());
}

DemoSimulator::~DemoSimulator() {
  if (gateway_) gateway_->Stop();
  if (tcp_) tcp_->Stop();
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

std::string DemoSimulator::Listening() const {
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

#pragma once
// A simulated amplifier in this process on a given clock, reachable over loopback on one route,
// and the device-list text that names it.
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "app/cli_options.h"
#include "clock/clock.h"

namespace marlin::sim {
class Amplifier;
class GatewayFront;
class TcpFront;
}  // namespace marlin::sim

namespace marlin::cli {

class SimulatedAmplifier {
 public:
  static constexpr int kGpibAddress = 1;

  // `faults`: the simulator's fault specifications (marlin-sim --fault). Throws
  // std::invalid_argument for an unknown model or a bad fault, std::exception when the
  // simulator cannot listen.
  SimulatedAmplifier(const std::string& model, Route route, const std::vector<std::string>& faults,
                     std::shared_ptr<Clock> clock);
  ~SimulatedAmplifier();
  SimulatedAmplifier(const SimulatedAmplifier&) = delete;
  SimulatedAmplifier& operator=(const SimulatedAmplifier&) = delete;

  // A device list naming this amplifier `device`: its table and, on GPIB, the gateway's board.
  std::string DeviceEntry(const std::string& device, const std::string& description) const;
  // Where the simulator listens, for people.
  std::string Listening() const;
  // The connections the simulator holds open.
  std::size_t Clients() const;
  // Closes every client; the amplifier answers nothing more.
  void Stop();

 private:
  Route route_;
  std::shared_ptr<sim::Amplifier> amp_;
  std::unique_ptr<sim::TcpFront> tcp_;
  std::unique_ptr<sim::GatewayFront> gateway_;
};

}  // namespace marlin::cli

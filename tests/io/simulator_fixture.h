#pragma once
// The route fixture with a simulated PA4415 behind a raw SCPI socket and a GPIB gateway, both
// on the fixture's virtual clock.
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "sim/amplifier.h"
#include "sim/gateway_front.h"
#include "sim/tcp_front.h"
#include "tests/io/route_fixture.h"

namespace marlin::testing {

class SimulatorFixture : public RouteFixture {
 protected:
  SimulatorFixture() {
    sim::AmplifierConfig config;
    config.model = "PA4415";
    instrument = std::make_shared<sim::Amplifier>(config, clock);
    tcp = std::make_unique<sim::TcpFront>(instrument);
    gateway = std::make_unique<sim::GatewayFront>(
        std::map<int, std::shared_ptr<sim::Amplifier>>{{kGpibAddress, instrument}});
  }

  void ConnectToSimulator(Route route, std::int32_t gpibTimeoutCode = kGpibTenSeconds) {
    Connect(route, route == Route::Gpib ? gateway->Port() : tcp->Port(), gpibTimeoutCode);
  }

  void SetFaults(const std::function<void(sim::Faults&)>& change) {
    sim::Faults faults;
    change(faults);
    instrument->SetFaults(faults);
  }

  std::size_t Count(sim::Direction direction, const std::string& text = {}) const {
    std::size_t n = 0;
    for (const auto& e : instrument->TranscriptEntries()) {
      n += e.direction == direction && (text.empty() || e.text == text) ? 1 : 0;
    }
    return n;
  }

  // Waits (at most 5 s of real time) until the simulator's I/O thread has sent `text` `times`.
  bool AwaitSent(const std::string& text, std::size_t times) const {
    for (int i = 0; i < 5000; ++i) {
      if (Count(sim::Direction::Sent, text) >= times) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
  }

  std::shared_ptr<sim::Amplifier> instrument;
  std::unique_ptr<sim::TcpFront> tcp;
  std::unique_ptr<sim::GatewayFront> gateway;
};

}  // namespace marlin::testing

#pragma once
// A GPIB-over-Ethernet gateway in the Prologix style: the host speaks "++" controller commands
// and data lines over TCP; the gateway forwards data to the amplifier at the current GPIB
// address and reads its answers back.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "sim/amplifier.h"

namespace marlin::sim {

inline constexpr std::uint16_t kDefaultGatewayPort = 1234;

class GatewayFront {
 public:
  // GPIB primary addresses 0 to 30. Throws std::invalid_argument for another address or a null
  // amplifier, std::system_error when the port cannot be bound; 0 picks a free port.
  // A client that sends nothing for `idleTimeout` (real time) is disconnected.
  GatewayFront(std::map<int, std::shared_ptr<Amplifier>> byGpibAddress,
               const std::string& bindAddress = kLoopback, std::uint16_t port = 0,
               std::chrono::milliseconds idleTimeout = kDefaultIdleClientTimeout);
  ~GatewayFront();
  GatewayFront(const GatewayFront&) = delete;
  GatewayFront& operator=(const GatewayFront&) = delete;

  std::uint16_t Port() const;
  void Stop();  // idempotent; the destructor stops too
  std::size_t ClientCount() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace marlin::sim

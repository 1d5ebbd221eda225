#pragma once
// The raw SCPI socket of an amplifier: lines in, answers out, several clients at once, served
// by the front's own I/O thread.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "sim/amplifier.h"

namespace marlin::sim {

inline constexpr std::uint16_t kDefaultScpiPort = 5025;

class TcpFront {
 public:
  // Listens at once; 0 picks a free port. Throws std::invalid_argument for an address that is
  // not an IP address and std::system_error when the port cannot be bound.
  // A client that sends nothing for `idleTimeout` (real time) is disconnected.
  TcpFront(std::shared_ptr<Amplifier> amp, const std::string& bindAddress = kLoopback,
           std::uint16_t port = 0,
           std::chrono::milliseconds idleTimeout = kDefaultIdleClientTimeout);
  ~TcpFront();
  TcpFront(const TcpFront&) = delete;
  TcpFront& operator=(const TcpFront&) = delete;

  std::uint16_t Port() const;
  // Closes the listener and every client connection and joins the I/O thread. Idempotent.
  void Stop();
  std::size_t ClientCount() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace marlin::sim

#pragma once
// An amplifier reached without sockets, as a GPIB device on a bus: messages end with "\n" or
// with end-or-identify, answers wait in the device's output queue until read, a new message
// discards an unread answer (-410). All waiting is on the amplifier's clock, so on a
// VirtualClock a read timeout costs no real time.
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "sim/amplifier.h"
#include "sim/bus_device.h"

namespace marlin::sim {

// One connection, used from one thread at a time.
class InProcessLink {
 public:
  explicit InProcessLink(std::shared_ptr<Amplifier> amp,
                         std::string peer = std::string(kLocalPeer));

  // False when the connection has been dropped (fault injection); nothing is delivered then.
  bool Write(std::string_view bytes, bool endOfMessage = true);
  // The next answer once it is due, waiting on the clock at most `timeout`; nullopt when none
  // arrives in time or the connection has been dropped.
  std::optional<std::string> Read(Clock::Duration timeout);
  bool Connected() const { return !device_.Dropped(); }

 private:
  std::shared_ptr<Amplifier> amp_;
  BusDevice device_;
};

}  // namespace marlin::sim

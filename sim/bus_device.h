#pragma once
// An amplifier as a device on a GPIB bus: assembles messages from written bytes, keeps its
// answers in an output queue with the clock time each becomes readable. Used by the gateway
// front and the in-process link. Not thread-safe: its owner serialises access.
#include <cstddef>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "sim/amplifier.h"

namespace marlin::sim {

class BusDevice {
 public:
  BusDevice(std::shared_ptr<Amplifier> amp, std::string peer);

  // Bytes from the controller; `endOfMessage` is EOI on the last byte. A "\n" also ends a
  // message. Complete messages are handled at once.
  void Write(std::string_view bytes, bool endOfMessage);

  // The first queued answer if it is readable at `now`; `stopAt` (a byte value) ends the read
  // early and leaves the rest queued. `endOfMessage` tells whether EOI came with the last byte.
  struct Chunk {
    std::string bytes;
    bool endOfMessage = false;
  };
  std::optional<Chunk> ReadDue(Clock::Duration now, std::optional<char> stopAt = std::nullopt);
  // When the first queued answer becomes readable; nullopt when nothing is queued.
  std::optional<Clock::Duration> NextDue() const;
  bool HasOutput() const { return !output_.empty(); }
  void Clear();  // selected device clear: input and output dropped
  // A new connection to a device whose connection was dropped.
  void Reconnect() {
    Clear();
    dropped_ = false;
  }

  bool Dropped() const { return dropped_; }
  Amplifier& Amp() const { return *amp_; }
  std::string_view Peer() const { return peer_; }

 private:
  void HandleMessage(std::string_view message);

  struct Pending {
    std::string bytes;
    Clock::Duration due{};
  };
  std::shared_ptr<Amplifier> amp_;
  std::string peer_;
  std::string input_;
  bool discarding_ = false;  // the current message overflowed and is skipped up to its end
  std::deque<Pending> output_;
  bool dropped_ = false;
};

}  // namespace marlin::sim

#pragma once
// One way to the amplifier: GPIB, LAN or VISA. The driver object keeps one of each and uses the
// one its interface code names; each keeps its own terminators, answer forms, waits and errors.
#include <cstdint>
#include <string>

namespace marlin {

class ConnectionCheck;
class Procedure;

class Route {
 public:
  virtual ~Route() = default;

  // The connection check on this route: opens it, identifies the instrument, accepts it or not.
  virtual void Connect(ConnectionCheck& check) = 0;
  // What a disconnection asks of this route before everything the object holds is closed.
  virtual void Disconnect(ConnectionCheck& check) = 0;
  // Closes what the object holds on this route, ignoring errors; calls nothing when nothing is
  // open.
  virtual void Close() = 0;
  // Whether identification keeps the whole answer, rather than taking its fields apart.
  virtual bool KeepsWholeIdentification() const = 0;

  // One command line, in steps of `proc`: each step is the unit a retry answer replays.
  virtual void Send(Procedure& proc, const std::string& command) = 0;
  // One query, in steps of `proc`; the answer in this route's form.
  virtual std::string Query(Procedure& proc, const std::string& command, std::int32_t waitTime) = 0;
};

}  // namespace marlin

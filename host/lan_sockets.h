#pragma once
// The stand-alone LAN socket service behind HostDevList's Lan* members: socket ids are small
// positive integers handed out by the service.
#include <cstdint>
#include <string>

namespace marlin {

class LanSockets {
 public:
  virtual ~LanSockets() = default;
  virtual void Open(const std::string& host, std::int32_t port, std::int32_t& socket, bool& ok) = 0;
  virtual void Close(std::int32_t socket, bool& ok) = 0;
  virtual void Send(std::int32_t socket, const std::string& text, bool& ok) = 0;
  // The answer without its line terminator ("\n", and a "\r" before it).
  virtual void Query(std::int32_t socket, const std::string& text, std::string& answer,
                     bool& ok) = 0;
  virtual void IsConnected(std::int32_t socket, bool& connected) = 0;
};

}  // namespace marlin

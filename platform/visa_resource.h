#pragma once
// VISA resource names of the raw-socket class: TCPIP[board]::host::port::SOCKET.
#include <cstdint>
#include <string>
#include <string_view>

namespace marlin {

struct SocketResource {
  std::uint32_t board = 0;
  std::string host;
  std::uint16_t port = 0;
};

enum class ResourceKind {
  Socket,      // a well-formed TCPIP SOCKET name
  OtherClass,  // a resource class this layer does not serve (INSTR, INTFC, ...)
  Malformed,
};

// Fills `out` only for ResourceKind::Socket.
ResourceKind ParseResource(std::string_view name, SocketResource& out);

}  // namespace marlin

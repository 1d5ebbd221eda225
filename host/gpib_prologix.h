#pragma once
// A Prologix-style GPIB-Ethernet gateway: "++" controller commands and data over one TCP
// connection per board, shared by the board's devices. The gateway is put in controller mode
// without automatic reads and without added terminators, so the device receives each command
// byte for byte; a read asks for the answer up to end-or-identify. The TCP stream carries no
// end-or-identify, so an answer ends at the end-of-string byte (line feed unless the device's
// mode names another).
#include <memory>
#include <string>

#include "host/gpib_backend.h"

namespace marlin {

inline constexpr const char* kPrologixScheme = "prologix";

// `target` is "host:port" ("[::1]:1234" for IPv6); throws std::invalid_argument otherwise.
std::unique_ptr<GpibBackend> MakePrologixBackend(const std::string& target,
                                                 std::shared_ptr<Clock> clock);

}  // namespace marlin

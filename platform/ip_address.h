#pragma once
// Numeric IP addresses as a user writes them.
#include <string>

namespace marlin::platform {

// An IPv4 address in dotted form or an IPv6 address, no host name.
bool IsIpAddress(const std::string& text);

}  // namespace marlin::platform

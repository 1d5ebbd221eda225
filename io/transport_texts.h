#pragma once

namespace marlin::transport_text {
inline constexpr const char* kNoLan = "No LAN connection available!";
inline constexpr const char* kSend = "LAN send data failed!";
inline constexpr const char* kQuery = "LAN query data failed!";
}  // namespace marlin::transport_text

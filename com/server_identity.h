#pragma once
// Names under which the server is registered and reports its errors.
namespace marlin::com {

inline constexpr const char* kProgId = "Telvar_Marlin.clsMarlin";
inline constexpr const char* kThreadingModel = "Apartment";
inline constexpr unsigned short kTypeLibMajor = 1;
inline constexpr unsigned short kTypeLibMinor = 0;

}  // namespace marlin::com

#pragma once
// What an identification answer tells: the accepted maker and family, the recognised models,
// the firmware field.
#include <string>
#include <string_view>
#include <vector>

namespace marlin::identification {

inline constexpr const char* kMakerAndFamily = "Quellmarkfabrik,PA";
inline constexpr const char* kPA4415 = "PA4415";
inline constexpr const char* kPA4413 = "PA4413";
inline constexpr const char* kPA4520 = "PA4520";
inline constexpr const char* kFirmwarePrefix = "SW:";

bool NamesAModel(std::string_view answer);
bool NamesMakerAndFamily(std::string_view answer);           // letter case ignored
std::vector<std::string> Fields(const std::string& answer);  // split at every comma, kept as is
double FirmwareVersion(std::string field);

}  // namespace marlin::identification

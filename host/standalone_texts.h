#pragma once
// HostTexts of the stand-alone host: a fixed English text table.
#include <cstdint>
#include <map>
#include <string>

#include "driver/host_services.h"

namespace marlin {

namespace text_number {
inline constexpr std::int32_t kBandPathTimeout = 44081;
inline constexpr std::int32_t kStopButton = 15607;
}  // namespace text_number

class StandaloneTexts final : public HostTexts {
 public:
  StandaloneTexts();
  // Raises host_errors::kUnknownText for a number the table does not hold.
  std::string GetText(std::int32_t number) override;
  // Replaces the text of every control whose tag is a number of the table; other controls keep
  // the texts they were designed with.
  void ApplyTexts(HostWindow& window) override;

 private:
  std::map<std::int32_t, std::string> table_;
};

}  // namespace marlin

#include "host/standalone_texts.h"

#include <charconv>

#include "driver/marlin_error.h"
#include "host/host_errors.h"

namespace marlin {

StandaloneTexts::StandaloneTexts()
    : table_{{text_number::kBandPathTimeout, "The band path was not set in time."},
             {text_number::kStopButton, "STOP"}} {}

std::string StandaloneTexts::GetText(std::int32_t number) {
  auto it = table_.find(number);
  if (it == table_.end()) {
    throw MarlinError(host_errors::kUnknownText,
                      "The text table holds no text number " + std::to_string(number));
  }
  return it->second;
}

void StandaloneTexts::ApplyTexts(HostWindow& window) {
  for (const std::string& control : window.ControlNames()) {
    const std::string tag = window.ControlTag(control);
    std::int32_t number = 0;
    const auto [end, ec] = std::from_chars(tag.data(), tag.data() + tag.size(), number);
    if (tag.empty() || ec != std::errc() || end != tag.data() + tag.size()) continue;
    if (auto it = table_.find(number); it != table_.end()) {
      window.SetControlText(control, it->second);
    }
  }
}

}  // namespace marlin

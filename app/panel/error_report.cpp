#include "app/panel/error_report.h"

#include <chrono>

#include "driver/procedure_labels.h"
#include "host/trace_time.h"

namespace marlin::panel {

std::string InnermostText(std::string_view description, std::string_view device) {
  const std::string prefix = std::string(trace_text::kDevicePrefix) + std::string(device);
  const std::string_view separator = trace_text::kSeparator;
  while (description.starts_with(prefix)) {
    description.remove_prefix(prefix.size());
    if (description.starts_with(separator)) description.remove_prefix(separator.size());
  }
  return std::string(description);
}

std::string NowText() {
  std::string text = Iso8601Utc(std::chrono::system_clock::now());
  // Microseconds mean nothing to a person reading a page: keep milliseconds.
  const std::size_t dot = text.find('.');
  if (dot != std::string::npos && text.size() > dot + 4) text.erase(dot + 4, text.size() - dot - 5);
  return text;
}

ErrorInfo ErrorReport(std::int32_t number, const std::string& description,
                      const std::string& device) {
  return ErrorInfo{number, description, InnermostText(description, device), NowText()};
}

}  // namespace marlin::panel

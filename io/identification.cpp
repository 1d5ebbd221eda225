#include "io/identification.h"

#include <algorithm>
#include <cctype>

#include "driver/text_numbers.h"

namespace marlin::identification {

bool NamesAModel(std::string_view answer) {
  return answer.find(kPA4415) != std::string_view::npos ||
         answer.find(kPA4413) != std::string_view::npos ||
         answer.find(kPA4520) != std::string_view::npos;
}

bool NamesMakerAndFamily(std::string_view answer) {
  std::string_view needle = kMakerAndFamily;
  auto lower = [](char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  };
  auto it = std::search(answer.begin(), answer.end(), needle.begin(), needle.end(),
                        [&](char a, char b) { return lower(a) == lower(b); });
  return it != answer.end();
}

std::vector<std::string> Fields(const std::string& answer) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    std::size_t comma = answer.find(',', start);
    fields.push_back(
        answer.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return fields;
}

double FirmwareVersion(std::string field) {
  const std::string prefix = kFirmwarePrefix;
  for (std::size_t at = field.find(prefix); at != std::string::npos; at = field.find(prefix, at)) {
    field.erase(at, prefix.size());
  }
  return LeadingNumber(field);
}

}  // namespace marlin::identification

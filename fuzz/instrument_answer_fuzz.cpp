// Any bytes as an instrument's answer, and any error-queue entry in any route's answer form. The
// conversions either give a number or raise 13 (type mismatch) or 6 (overflow), nothing else;
// what reads as a whole number reads as the same leading number; the route's fill never changes
// what an answer says; the code of a "code,\"text\"" answer is read back whatever the text holds.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "driver/marlin_error.h"
#include "driver/text_numbers.h"
#include "io/identification.h"
#include "io/scpi.h"

namespace {

using namespace marlin;

void Require(bool holds) {
  if (!holds) __builtin_trap();
}

bool IsFill(char c) { return c == '\r' || c == '\n' || c == '\0' || c == ' '; }

bool SameNumber(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

// The conversion's result, or nullopt for one of the two errors it may raise.
template <class Convert>
std::optional<std::int32_t> Converted(Convert convert, std::string_view text) {
  try {
    return convert(text);
  } catch (const MarlinError& e) {
    Require(e.Number() == errors::kTypeMismatch || e.Number() == errors::kOverflow);
    return std::nullopt;
  }
}

void CheckAnswerText(std::string_view answer) {
  const std::string_view text = AnswerText(answer);
  Require(text.data() == answer.data() && text.size() <= answer.size());
  Require(text.empty() || !IsFill(text.back()));
  for (char c : answer.substr(text.size())) Require(IsFill(c));
  Require(AnswerText(text) == text);
  const std::string_view trimmed = TrimSpaces(text);
  Require(trimmed.empty() || (trimmed.front() != ' ' && trimmed.back() != ' '));
  Require(text.find(trimmed) != std::string_view::npos);
}

void CheckNumbers(std::string_view answer) {
  const double leading = LeadingNumber(answer);
  Require(!std::isnan(leading));
  if (auto whole = Converted(AnswerToWholeNumber, answer)) {
    Require(leading == *whole);
    Require(Converted(AnswerToWholeNumber, Decimal(*whole)) == whole);
  }
  if (auto rounded = Converted(TextToInt32, answer)) {
    Require(std::fabs(leading - *rounded) <= 0.5);
  }
  // An answer that says "no band" never reads as a band number.
  if (scpi::SaysNoBand(answer)) Require(!Converted(AnswerToWholeNumber, answer));
}

void CheckIdentification(const std::string& answer) {
  const std::vector<std::string> fields = identification::Fields(answer);
  std::string joined;
  bool namesModel = false;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    Require(fields[i].find(',') == std::string::npos);
    joined += (i == 0 ? "" : ",") + fields[i];
    namesModel = namesModel || identification::NamesAModel(fields[i]);
    const double version = identification::FirmwareVersion(fields[i]);
    Require(!std::isnan(version));
    Require(SameNumber(identification::FirmwareVersion(identification::kFirmwarePrefix + fields[i]),
                       version));
  }
  Require(joined == answer);
  Require(namesModel == identification::NamesAModel(answer));
  std::string flipped = answer;
  for (char& c : flipped) {
    if (c >= 'a' && c <= 'z')
      c = static_cast<char>(c - 'a' + 'A');
    else if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  }
  Require(identification::NamesMakerAndFamily(flipped) ==
          identification::NamesMakerAndFamily(answer));
}

// What each route leaves after an answer's text: LAN none or a bare line feed, VISA a line feed
// and NUL fill, GPIB a line feed and space padding, some instruments "\r\n".
std::string RouteFill(std::uint8_t form, std::size_t length) {
  switch (form % 5) {
    case 0:
      return "";
    case 1:
      return "\n";
    case 2:
      return "\n" + std::string(length, '\0');
    case 3:
      return "\n" + std::string(length, ' ');
    default:
      return "\r\n";
  }
}

// The input's first bytes choose a code and a route; the rest is the entry's text.
void CheckErrorQueueEntry(const std::uint8_t* data, std::size_t size) {
  if (size < 6) return;
  std::int32_t code = 0;
  std::memcpy(&code, data, sizeof code);
  const std::string fill = RouteFill(data[4], data[5] % 64);
  const std::string text(reinterpret_cast<const char*>(data + 6), size - 6);
  const std::string entry = Decimal(code) + ",\"" + text + "\"";
  const std::string answer = entry + fill;
  Require(AnswerText(answer) == entry);
  Require(LeadingNumber(answer) == code);
  Require(LeadingNumber(AnswerText(answer)) == code);
  Require(Converted(AnswerToWholeNumber, Decimal(code) + fill) == code);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string answer(reinterpret_cast<const char*>(data), size);
  CheckAnswerText(answer);
  CheckNumbers(answer);
  CheckIdentification(answer);
  CheckErrorQueueEntry(data, size);
  return 0;
}

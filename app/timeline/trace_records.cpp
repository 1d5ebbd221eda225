#include "app/timeline/trace_records.h"

#include <chrono>
#include <nlohmann/json.hpp>

#include "driver/procedure_labels.h"
#include "host/trace_time.h"

namespace marlin::timeline {
namespace {

using Json = nlohmann::json;

std::string Text(const Json& object, const char* key) {
  const auto found = object.find(key);
  if (found == object.end()) return {};
  if (found->is_string()) return found->get<std::string>();
  if (found->is_number_integer()) return std::to_string(found->get<std::int64_t>());
  return {};
}

bool Digits(std::string_view text, std::size_t at, std::size_t count, int& value) {
  if (at + count > text.size()) return false;
  value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  return true;
}

}  // namespace

std::optional<std::int64_t> ParseIso8601Utc(std::string_view text) {
  using namespace std::chrono;
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  if (text.size() < 20 || !Digits(text, 0, 4, y) || text[4] != '-' || !Digits(text, 5, 2, mo) ||
      text[7] != '-' || !Digits(text, 8, 2, d) || text[10] != 'T' || !Digits(text, 11, 2, h) ||
      text[13] != ':' || !Digits(text, 14, 2, mi) || text[16] != ':' || !Digits(text, 17, 2, s)) {
    return std::nullopt;
  }
  std::size_t at = 19;
  std::int64_t fraction = 0;
  if (text[at] == '.') {
    std::size_t digits = 0;
    for (++at; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, ++digits) {
      if (digits < 6) fraction = fraction * 10 + (text[at] - '0');
    }
    if (digits == 0 || digits > 9) return std::nullopt;
    for (; digits < 6; ++digits) fraction *= 10;
  }
  if (at + 1 != text.size() || text[at] != 'Z') return std::nullopt;
  const year_month_day date{year(y), month(static_cast<unsigned>(mo)),
                            day(static_cast<unsigned>(d))};
  if (!date.ok() || h > 23 || mi > 59 || s > 59) return std::nullopt;
  const auto since = sys_days(date).time_since_epoch() + hours(h) + minutes(mi) + seconds(s);
  // A time the system clock cannot hold (about 1678 to 2262 with nanosecond ticks) is no time a
  // host wrote, and could not be formatted again.
  constexpr auto kEarliest = duration_cast<seconds>(system_clock::duration::min()) + seconds(1);
  constexpr auto kLatest = duration_cast<seconds>(system_clock::duration::max()) - seconds(1);
  if (since < kEarliest || since > kLatest) return std::nullopt;
  return duration_cast<microseconds>(since).count() + fraction;
}

std::string FormatMicros(std::int64_t micros) {
  return Iso8601Utc(std::chrono::system_clock::time_point(
      std::chrono::duration_cast<std::chrono::system_clock::duration>(
          std::chrono::microseconds(micros))));
}

std::optional<TraceRecord> ReadTraceLine(std::string_view line, std::string& why) {
  if (line.size() > kLongestTraceLine) {
    why = "longer than " + std::to_string(kLongestTraceLine) + " bytes";
    return std::nullopt;
  }
  const Json json = Json::parse(line, nullptr, false);
  if (json.is_discarded() || !json.is_object()) {
    why = "not a JSON object";
    return std::nullopt;
  }
  TraceRecord record;
  if (const auto time = json.find("time"); time != json.end()) {
    if (time->is_string()) record.micros = ParseIso8601Utc(time->get<std::string>());
    if (!record.micros) {
      why = "\"time\" is not a UTC time such as 2026-12-08T14:03:07.123456Z";
      return std::nullopt;
    }
  }
  record.device = Text(json, "device");
  if (const auto report = json.find("report"); report != json.end() && report->is_object()) {
    record.kind = TraceRecord::Kind::Report;
    record.data = Text(*report, "description");
    record.instance = Text(*report, "instance");
    const auto number = report->find("number");
    if (number != report->end() && number->is_number_integer()) {
      record.number = static_cast<std::int32_t>(number->get<std::int64_t>());
    }
    return record;
  }
  for (const auto& [key, kind] : {std::pair{"message", TraceRecord::Kind::Message},
                                  std::pair{"messagebox", TraceRecord::Kind::MessageBox}}) {
    if (const auto found = json.find(key); found != json.end() && found->is_object()) {
      record.kind = kind;
      record.data = Text(*found, "text");
      record.title = Text(*found, "title");
      return record;
    }
  }
  const std::string event = Text(json, "event");
  if (event == trace_text::kStart || event == trace_text::kEnd) {
    record.kind = event == trace_text::kStart ? TraceRecord::Kind::Start : TraceRecord::Kind::End;
    record.procedure = Text(json, "procedure");
    record.data = Text(json, "data");
    record.instance = Text(json, "instance");
    if (record.procedure.empty()) {
      why = "a \"" + event + "\" line without a procedure";
      return std::nullopt;
    }
    return record;
  }
  why = "neither a trace line, an error report nor a message";
  return std::nullopt;
}

}  // namespace marlin::timeline

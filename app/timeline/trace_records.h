#pragma once
// One line of a JSON Lines trace file, read into what the timeline needs.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace marlin::timeline {

struct TraceRecord {
  enum class Kind { Start, End, Report, Message, MessageBox, Other };
  Kind kind = Kind::Other;
  std::string procedure;    // Start, End
  std::string data;         // Start: the data text; Report: the description; Message(Box): text
  std::string title;        // Message, MessageBox
  std::string instance;     // empty for messages, which carry none
  std::string device;       // the device whose procedure wrote it; empty: none named
  std::int32_t number = 0;  // Report
  std::optional<std::int64_t> micros;  // "time" as microseconds since the Unix epoch
};

// Longer lines are not read: no trace writer makes them.
inline constexpr std::size_t kLongestTraceLine = std::size_t{64} * 1024;

// The record of one line; nullopt with `why` set when the line is no trace record.
std::optional<TraceRecord> ReadTraceLine(std::string_view line, std::string& why);

// "2026-12-08T14:03:07.123456Z" (1 to 9 digits after the point, or none) as microseconds since
// the Unix epoch; nullopt for any other form.
std::optional<std::int64_t> ParseIso8601Utc(std::string_view text);

// The inverse for display: "2026-12-08T14:03:07.123456Z".
std::string FormatMicros(std::int64_t micros);

}  // namespace marlin::timeline

#pragma once
// The SVG drawing of a timeline already read.
#include <string>

#include "app/timeline/timeline_model.h"

namespace marlin::timeline {

inline constexpr std::size_t kMostLanes = 64;
inline constexpr std::size_t kMostBars = 5000;
inline constexpr std::size_t kMostMarks = 2000;

std::string RenderSvg(const Timeline& timeline);
// The report page of a timeline already read (see timeline.h).
std::string RenderReportHtml(const Timeline& timeline, const std::string& source);

// "1.250 s", or "record 12" for a trace without times.
std::string SpanText(const Timeline& timeline, Position span);
// A lane's name as shown: "instance 4711".
std::string LaneName(const Lane& lane);

}  // namespace marlin::timeline

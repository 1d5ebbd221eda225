#pragma once
// The session timeline drawn from the trace's JSON lines, as an inline SVG element.
#include <string>
#include <vector>

namespace marlin::timeline {

std::string RenderSvg(const std::vector<std::string>& traceJsonLines);

}  // namespace marlin::timeline

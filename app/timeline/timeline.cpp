// Placeholder drawing until the timeline renderer lands: the number of trace lines only.
#include "app/timeline/timeline.h"

namespace marlin::timeline {

std::string RenderSvg(const std::vector<std::string>& traceJsonLines) {
  return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"400\" height=\"24\">"
         "<text x=\"4\" y=\"16\">" +
         std::to_string(traceJsonLines.size()) + " trace lines</text></svg>";
}

}  // namespace marlin::timeline

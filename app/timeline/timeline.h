#pragma once
// The picture of a session: a trace's JSON lines, as the trace file holds them, drawn as a
// timeline (a lane per instance, procedures nested as bars, waits shaded with their limits,
// instrument lines as ticks, errors marked, hover titles with the records' texts).
#include <string>
#include <vector>

namespace marlin::timeline {

// A self-contained inline <svg> element: no scripts, no external references. Lines that are no
// trace record are skipped and counted in the picture; lines without a time (older traces) are
// placed by their order. A huge trace stays bounded: what is left out is said in the picture.
std::string RenderSvg(const std::vector<std::string>& traceJsonLines);

// A self-contained HTML page (inline CSS and SVG, nothing fetched): a summary (instances,
// duration, errors, longest waits) and the timeline. `source` names the trace in the page.
std::string RenderReportHtml(const std::vector<std::string>& traceJsonLines,
                             const std::string& source);

}  // namespace marlin::timeline

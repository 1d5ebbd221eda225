#pragma once
// The picture of a session: a trace's JSON lines, as the trace file holds them, drawn as a
// timeline (a lane per instance or per named group, procedures nested as bars, waits shaded with
// their limits, instrument lines as ticks, errors marked, hover titles with the records' texts).
#include <string>
#include <string_view>
#include <vector>

namespace marlin::timeline {

// A self-contained inline <svg> element: no scripts, no external references. Lines that are no
// trace record are skipped and counted in the picture; lines without a time (older traces) are
// placed by their order. A huge trace stays bounded: what is left out is said in the picture.
std::string RenderSvg(const std::vector<std::string>& traceJsonLines);

// Lines kept apart by who wrote them (a device of the panel): one lane per group, named by it,
// whatever instance its records carry.
struct NamedLines {
  std::string name;
  std::vector<std::string> lines;
};
std::string RenderSvg(const std::vector<NamedLines>& groups);

// A self-contained HTML page (inline CSS and SVG, nothing fetched): a summary (instances,
// duration, errors, longest waits) and the timeline. `source` names the trace in the page.
// The rules the picture's own <style> holds, for a page whose policy refuses inline styles.
std::string_view Stylesheet();

std::string RenderReportHtml(const std::vector<std::string>& traceJsonLines,
                             const std::string& source);

}  // namespace marlin::timeline

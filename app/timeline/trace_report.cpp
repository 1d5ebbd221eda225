#include <algorithm>
#include <numeric>

#include "app/timeline/svg_timeline.h"
#include "app/timeline/switch_requests.h"
#include "app/timeline/timeline.h"
#include "app/timeline/trace_records.h"
#include "text/xml_text.h"

namespace marlin::timeline {
using text::XmlText;
namespace {

constexpr std::size_t kErrorsListed = 10;
constexpr std::size_t kWaitsListed = 5;
constexpr std::size_t kSkippedLinesListed = 10;
constexpr std::size_t kSwitchesListed = 5000;

constexpr const char* kPageStyle =
    "body{font-family:sans-serif;margin:1.5em;color:#222}table{border-collapse:collapse}"
    "td,th{padding:2px 10px 2px 0;text-align:left;vertical-align:top}"
    ".timeline{overflow-x:auto;border:1px solid #ccc;padding:4px}.bad{color:#c0392b}"
    ".switches td,.switches th{border-bottom:1px solid #eee}";

std::string Row(const std::string& name, const std::string& escapedValue) {
  return "<tr><th>" + name + "</th><td>" + escapedValue + "</td></tr>\n";
}

std::string Summary(const Timeline& t, const std::string& source) {
  std::string out = "<table class=\"summary\">\n";
  out += Row("Trace", XmlText(source, 200));
  out += Row("Records", std::to_string(t.records));
  std::string lanes;
  for (const Lane& lane : t.lanes) {
    lanes += (lanes.empty() ? "" : ", ") + XmlText(LaneName(lane), 40);
  }
  out += Row("Lanes", std::to_string(t.lanes.size()) + (lanes.empty() ? "" : ": " + lanes));
  if (t.timed) {
    out += Row("From", FormatMicros(t.first)) + Row("To", FormatMicros(t.last));
    out += Row("Duration", SpanText(t, t.last - t.first));
  } else if (t.records > 0) {
    out += Row("Duration", "unknown: some records have no time");
  }
  out += Row("Procedures", std::to_string(t.bars.size()));

  std::vector<const Mark*> errors;
  for (const Mark& m : t.marks) {
    if (m.error) errors.push_back(&m);
  }
  std::string errorText = std::to_string(errors.size());
  for (std::size_t i = 0; i < std::min(errors.size(), kErrorsListed); ++i) {
    errorText += "<br/>\n<span class=\"bad\">error " + std::to_string(errors[i]->number) + ": " +
                 XmlText(errors[i]->text, 200) + "</span> (" +
                 XmlText(LaneName(t.lanes[errors[i]->lane]), 40) + ", line " +
                 std::to_string(errors[i]->line) + ")";
  }
  if (errors.size() > kErrorsListed) errorText += "<br/>\n…";
  out += Row("Errors", errorText);

  std::vector<const Bar*> waits;
  for (const Bar& b : t.bars) {
    if (b.wait) waits.push_back(&b);
  }
  std::stable_sort(waits.begin(), waits.end(), [](const Bar* a, const Bar* b) {
    return a->end - a->begin > b->end - b->begin;
  });
  std::string waitText = waits.empty() ? "none" : "";
  for (std::size_t i = 0; i < std::min(waits.size(), kWaitsListed); ++i) {
    const Bar& w = *waits[i];
    waitText += (i == 0 ? "" : "<br/>\n") + XmlText(w.waitWhat, 200) + ": " +
                SpanText(t, w.end - w.begin) +
                (w.limit ? " of " + SpanText(t, *w.limit) : std::string()) +
                (w.ended ? "" : " <span class=\"bad\">(ended by an error)</span>") + " (line " +
                std::to_string(w.line) + ")";
  }
  out += Row("Longest waits", waitText);
  if (!t.malformedLines.empty()) {
    std::string lines;
    for (std::size_t i = 0; i < std::min(t.malformedLines.size(), kSkippedLinesListed); ++i) {
      lines += (i == 0 ? "" : ", ") + std::to_string(t.malformedLines[i]);
    }
    if (t.malformedLines.size() > kSkippedLinesListed) lines += ", …";
    out += Row("Skipped lines", "<span class=\"bad\">" + std::to_string(t.malformedLines.size()) +
                                    " (line " + lines + "): " + XmlText(t.firstMalformedWhy) +
                                    "</span>");
  }
  return out + "</table>\n";
}

std::string ClockTime(const Timeline& t, Position at) {
  if (!t.timed) return "record " + std::to_string(at);
  return FormatMicros(at).substr(11, 12);  // "14:03:07.123"
}

std::string ResultText(SwitchRequest::Result result) {
  switch (result) {
    case SwitchRequest::Result::Done:
      return "done";
    case SwitchRequest::Result::Failed:
      return "<span class=\"bad\">failed</span>";
    case SwitchRequest::Result::Unfinished:
      break;
  }
  return "<span class=\"bad\">no end in the trace</span>";
}

// Every SetState request, in the order they began.
std::string Switches(const Timeline& t) {
  const std::vector<SwitchRequest> requests = SwitchRequests(t);
  std::string out = "<h2>Switches</h2>\n";
  if (requests.empty()) return out + "<p>No SetState request in this trace.</p>\n";
  out +=
      "<table class=\"switches\">\n<tr><th>Device</th><th>From → to</th><th>Start (UTC)</th>"
      "<th>Duration</th><th>Result</th><th>Error</th></tr>\n";
  for (std::size_t i = 0; i < std::min(requests.size(), kSwitchesListed); ++i) {
    const SwitchRequest& r = requests[i];
    std::string error;
    if (r.error) {
      error = "error " + std::to_string(r.error->number) + ": " + XmlText(r.error->text, 200) +
              " (line " + std::to_string(r.error->line) + ")";
    }
    out += "<tr><td>" + XmlText(LaneName(t.lanes[r.lane]), 40) + "</td><td>" +
           (r.from ? XmlText(*r.from, 20) : std::string("?")) + " → " + XmlText(r.to, 20) +
           "</td><td>" + ClockTime(t, r.begin) + "</td><td>" + SpanText(t, r.end - r.begin) +
           "</td><td>" + ResultText(r.result) + "</td><td>" + error + "</td></tr>\n";
  }
  out += "</table>\n";
  if (requests.size() > kSwitchesListed) {
    out += "<p>… and " + std::to_string(requests.size() - kSwitchesListed) + " more.</p>\n";
  }
  return out +
         "<p>From: the state the device's last switch confirmed; ? where no switch of "
         "this trace confirmed one since the last failure, connection or reset.</p>\n";
}

}  // namespace

std::string RenderReportHtml(const std::vector<std::string>& traceJsonLines,
                             const std::string& source) {
  return RenderReportHtml(BuildTimeline(traceJsonLines), source);
}

std::string RenderReportHtml(const Timeline& t, const std::string& source) {
  return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n"
         "<title>Marlin trace report: " +
         XmlText(source, 100) + "</title>\n<style>" + kPageStyle +
         "</style>\n</head>\n<body>\n<h1>Marlin trace report</h1>\n" + Summary(t, source) +
         "<h2>Timeline</h2>\n<p>Bars are procedures, nested as they ran; "
         "yellow bars are waits, their dashed outline the limit; ticks are instrument lines "
         "(green: sent, purple: answer read); red diamonds are errors, blue dots messages; a red "
         "edge marks a procedure that an error ended; grey gaps are idle stretches drawn narrow. "
         "Hover for the records.</p>\n"
         "<div class=\"timeline\">\n" +
         RenderSvg(t) + "</div>\n" + Switches(t) + "</body>\n</html>\n";
}

}  // namespace marlin::timeline

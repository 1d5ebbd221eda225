#include <algorithm>
#include <numeric>

#include "app/timeline/svg_timeline.h"
#include "app/timeline/timeline.h"
#include "app/timeline/trace_records.h"
#include "text/xml_text.h"

namespace marlin::timeline {
using text::XmlText;
namespace {

constexpr std::size_t kErrorsListed = 10;
constexpr std::size_t kWaitsListed = 5;
constexpr std::size_t kSkippedLinesListed = 10;

constexpr const char* kPageStyle =
    "body{font-family:sans-serif;margin:1.5em;color:#222}table{border-collapse:collapse}"
    "td,th{padding:2px 10px 2px 0;text-align:left;vertical-align:top}"
    ".timeline{overflow-x:auto;border:1px solid #ccc;padding:4px}.bad{color:#c0392b}";

std::string Row(const std::string& name, const std::string& escapedValue) {
  return "<tr><th>" + name + "</th><td>" + escapedValue + "</td></tr>\n";
}

std::string Summary(const Timeline& t, const std::string& source) {
  std::string out = "<table class=\"summary\">\n";
  out += Row("Trace", XmlText(source, 200));
  out += Row("Records", std::to_string(t.records));
  std::string instances;
  for (const Lane& lane : t.lanes) {
    instances += (instances.empty() ? "" : ", ") + XmlText(LaneName(lane), 40);
  }
  out += Row("Instances",
             std::to_string(t.lanes.size()) + (instances.empty() ? "" : ": " + instances));
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
                 XmlText(errors[i]->text, 200) + "</span> (line " +
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
         "edge marks a procedure that an error ended. Hover for the records.</p>\n"
         "<div class=\"timeline\">\n" +
         RenderSvg(t) + "</div>\n</body>\n</html>\n";
}

}  // namespace marlin::timeline

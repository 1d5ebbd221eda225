#include "app/timeline/svg_timeline.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <numeric>
#include <tuple>

#include "app/timeline/time_axis.h"
#include "app/timeline/timeline.h"
#include "app/timeline/trace_records.h"
#include "driver/procedure_labels.h"
#include "text/xml_text.h"

namespace marlin::timeline {
using text::XmlText;
namespace {

constexpr double kLabelWidth = 150;
constexpr double kRightMargin = 30;
constexpr double kTop = 40;  // heading and time axis
constexpr double kRow = 16;
constexpr double kTickRow = 12;
constexpr double kLaneGap = 10;
constexpr double kNoteLine = 15;
constexpr double kCharWidth = 6.2;  // of the 11 px labels inside bars

constexpr const char* kStyle =
    ".lane{fill:#f4f6f8}.lane-name{font-weight:bold}.axis{stroke:#888}"
    ".grid{stroke:#ddd}.proc{fill:#b9d3ee;stroke:#4a78a8}.wait{fill:#f7d58b;stroke:#b8860b}"
    ".limit{fill:#f7d58b;fill-opacity:0.25;stroke:#b8860b;stroke-dasharray:4 3}"
    ".failed{stroke:#c0392b;stroke-width:2}.sent{stroke:#2e7d32}.answer{stroke:#6a1b9a}"
    ".error{fill:#c0392b}.message{fill:#1565c0}.note{fill:#555}"
    ".gap{fill:#e2e2e2;fill-opacity:0.8;stroke:#999;stroke-dasharray:2 2}.gap-label{fill:#666}";
// Instrument lines are gathered into this many columns at most, however wide the plot.
constexpr double kMostTickColumns = 2000;

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

// The round step (1, 2 or 5 times a power of ten) of at least `raw` units.
Position NiceStep(double raw) {
  raw = std::max(raw, 1.0);
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double factor : {1.0, 2.0, 5.0, 10.0}) {
    if (factor * power >= raw) return std::max<Position>(1, static_cast<Position>(factor * power));
  }
  return static_cast<Position>(10 * power);
}

std::string Seconds(Position micros, Position step) {
  const int decimals = step >= 1000000  ? 0
                       : step >= 100000 ? 1
                       : step >= 10000  ? 2
                       : step >= 1000   ? 3
                                        : 6;
  char text[48];
  std::snprintf(text, sizeof text, "%.*f s", decimals, static_cast<double>(micros) / 1e6);
  return text;
}

void Rect(std::string& out, const char* cls, double x, double y, double w, double h,
          const std::string& title) {
  out += "<rect class=\"" + std::string(cls) + "\" x=\"" + Number(x) + "\" y=\"" + Number(y) +
         "\" width=\"" + Number(std::max(w, 1.0)) + "\" height=\"" + Number(h) + "\">";
  if (!title.empty()) out += "<title>" + title + "</title>";
  out += "</rect>\n";
}

void Text(std::string& out, const char* cls, double x, double y, const std::string& escaped) {
  out += "<text class=\"" + std::string(cls) + "\" x=\"" + Number(x) + "\" y=\"" + Number(y) +
         "\">" + escaped + "</text>\n";
}

// "12 s", "4 min", "2 h": short enough for a gap's label.
std::string ShortSpan(Position micros) {
  const Position seconds = micros / 1'000'000;
  if (seconds < 120) return std::to_string(seconds) + " s";
  if (seconds < 7200) return std::to_string(seconds / 60) + " min";
  return std::to_string(seconds / 3600) + " h";
}

std::string LineRef(std::size_t line) { return " (line " + std::to_string(line) + ")"; }

// Which bars are drawn when there are too many: every failed one and every wait first, then
// the longest.
std::vector<std::size_t> ChosenBars(const Timeline& t) {
  std::vector<std::size_t> order(t.bars.size());
  std::iota(order.begin(), order.end(), 0);
  std::erase_if(order, [&](std::size_t i) { return t.bars[i].lane >= kMostLanes; });
  if (order.size() > kMostBars) {
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
      const Bar& x = t.bars[a];
      const Bar& y = t.bars[b];
      return std::tuple(!(x.reported || !x.ended), !x.wait, -(x.end - x.begin)) <
             std::tuple(!(y.reported || !y.ended), !y.wait, -(y.end - y.begin));
    });
    order.resize(kMostBars);
  }
  return order;
}

}  // namespace

std::string SpanText(const Timeline& timeline, Position span) {
  if (!timeline.timed) return std::to_string(span) + " records";
  char text[32];
  std::snprintf(text, sizeof text, "%.3f s", static_cast<double>(span) / 1e6);
  return text;
}

std::string LaneName(const Lane& lane) {
  if (!lane.group.empty()) return lane.group;
  return lane.instance.empty() ? "host" : "instance " + lane.instance;
}

namespace {

// Where things go: lanes stacked from the top, time across from the lane names.
struct Canvas {
  Canvas(const Timeline& timeline, const TimeAxis& timeAxis)
      : t(timeline), axis(timeAxis), lanes(std::min(t.lanes.size(), kMostLanes)) {
    laneTop.assign(lanes + 1, kTop);
    for (std::size_t i = 0; i < lanes; ++i) {
      laneTop[i + 1] = laneTop[i] + t.lanes[i].depth * kRow + kTickRow + kLaneGap;
    }
    plotRight = kLabelWidth + axis.Width();
  }
  double X(Position at) const { return kLabelWidth + axis.X(at); }

  const Timeline& t;
  const TimeAxis& axis;
  std::size_t lanes;
  std::vector<double> laneTop;
  double plotRight = 0;
};

// What the picture leaves out or how it reads, in sentences under it.
std::vector<std::string> Notes(const Canvas& c, std::size_t barsDrawn) {
  const Timeline& t = c.t;
  std::vector<std::string> notes;
  if (t.records == 0) notes.push_back("No trace record to draw.");
  if (t.timed) {
    notes.push_back("Times in UTC from " + FormatMicros(t.first) + " to " + FormatMicros(t.last) +
                    " (" + SpanText(t, t.last - t.first) + ").");
  } else if (t.records > 0) {
    notes.push_back("Some records have no time: every record is placed by its order.");
  }
  if (!t.malformedLines.empty()) {
    notes.push_back(std::to_string(t.malformedLines.size()) +
                    " lines are no trace record and were skipped, the first at line " +
                    std::to_string(t.malformedLines.front()) + ": " + t.firstMalformedWhy + ".");
  }
  if (t.lanes.size() > c.lanes) {
    notes.push_back("Only the first " + std::to_string(c.lanes) + " of " +
                    std::to_string(t.lanes.size()) + " lanes are drawn.");
  }
  if (!c.axis.Gaps().empty()) {
    notes.push_back(std::to_string(c.axis.Gaps().size()) + " idle stretches of more than " +
                    std::to_string(kLongestIdle / 1'000'000) +
                    " s (no switch, only state reads) are drawn as narrow grey gaps; hover for "
                    "their times.");
  }
  const std::size_t drawable = static_cast<std::size_t>(std::count_if(
      t.bars.begin(), t.bars.end(), [](const Bar& b) { return b.lane < kMostLanes; }));
  if (barsDrawn < drawable) {
    notes.push_back("Only " + std::to_string(barsDrawn) + " of " + std::to_string(drawable) +
                    " procedures are drawn: every failed one, every wait, then the longest.");
  }
  const std::size_t drawableMarks = static_cast<std::size_t>(std::count_if(
      t.marks.begin(), t.marks.end(), [&](const Mark& m) { return m.lane < c.lanes; }));
  if (drawableMarks > kMostMarks) {
    notes.push_back("Only " + std::to_string(kMostMarks) + " of " + std::to_string(drawableMarks) +
                    " error and message marks are drawn, errors first.");
  }
  return notes;
}

// Lanes, then the time axis over them.
void DrawLanesAndAxis(const Canvas& c, double width, std::string& out) {
  const Timeline& t = c.t;
  for (std::size_t i = 0; i < c.lanes; ++i) {
    Rect(out, "lane", 0, c.laneTop[i], width, c.laneTop[i + 1] - c.laneTop[i] - kLaneGap / 2, "");
    Text(out, "lane-name", 6, c.laneTop[i] + 12, XmlText(LaneName(t.lanes[i]), 40));
  }
  // A grid line every hundred pixels or so, in round steps.
  const Position step = NiceStep(100 / c.axis.Scale());
  for (Position at : c.axis.Grid(t.timed ? t.first : 0, step)) {
    const double x = c.X(at);
    out += "<line class=\"grid\" x1=\"" + Number(x) + "\" y1=\"" + Number(kTop - 6) + "\" x2=\"" +
           Number(x) + "\" y2=\"" + Number(c.laneTop[c.lanes]) + "\"/>\n";
    Text(out, "axis-label", x + 2, kTop - 10,
         t.timed ? "+" + Seconds(at - t.first, step) : "record " + std::to_string(at));
  }
  for (const IdleGap& gap : c.axis.Gaps()) {
    Rect(out, "gap", kLabelWidth + gap.x, kTop - 6, gap.width, c.laneTop[c.lanes] - kTop + 6,
         XmlText("idle for " + SpanText(t, gap.to - gap.from) + ", from +" +
                 SpanText(t, gap.from - t.first) + " to +" + SpanText(t, gap.to - t.first) +
                 ": drawn narrow"));
    Text(out, "gap-label", kLabelWidth + gap.x, kTop - 24, ShortSpan(gap.to - gap.from));
  }
  out += "<line class=\"axis\" x1=\"" + Number(kLabelWidth) + "\" y1=\"" + Number(kTop - 6) +
         "\" x2=\"" + Number(c.plotRight) + "\" y2=\"" + Number(kTop - 6) + "\"/>\n";
}

void DrawBar(const Canvas& c, const Bar& b, std::string& out) {
  const Timeline& t = c.t;
  const double x = c.X(b.begin);
  // A switch refused at once still shows.
  const double w =
      std::max(c.X(b.end) - x, b.procedure == labels::kSetState.start ? kNarrowestSwitch : 1.0);
  const double y = c.laneTop[b.lane] + b.depth * kRow + 2;
  std::string title = b.procedure + (b.data.empty() ? "" : " [" + b.data + "]");
  if (b.wait) title += "\nwaits: " + b.waitWhat;
  title += "\n" + SpanText(t, b.end - b.begin);
  if (b.wait && b.limit) title += " of " + SpanText(t, *b.limit);
  if (!b.ended) title += "\nno end line: ended by an error";
  title += LineRef(b.line);
  std::string cls = b.wait ? "wait" : "proc";
  if (!b.ended) cls += " failed";
  Rect(out, cls.c_str(), x, y, w, kRow - 4, XmlText(title, 600));
  // Room for the characters and, when cut, the ellipsis.
  const std::size_t fits = static_cast<std::size_t>((w - 4) / kCharWidth);
  if (fits >= 4) {
    Text(out, "bar-label", x + 2, y + 10,
         XmlText(b.procedure, b.procedure.size() <= fits ? fits : fits - 1));
  }
}

void DrawBars(const Canvas& c, const std::vector<std::size_t>& bars, std::string& out) {
  const Timeline& t = c.t;
  // Limits under the bars, so a wait shows how much of its limit it used.
  for (std::size_t i : bars) {
    const Bar& b = t.bars[i];
    if (!b.wait || !b.limit) continue;
    const double x = c.X(b.begin);
    const double end = std::min(c.X(b.begin + *b.limit), c.plotRight);
    Rect(out, "limit", x, c.laneTop[b.lane] + b.depth * kRow + 1, end - x, kRow - 2,
         XmlText("limit of " + b.waitWhat + ": " + SpanText(t, *b.limit)));
  }
  for (std::size_t i : bars) DrawBar(c, t.bars[i], out);
}

// Instrument lines: one tick per pixel column and kind (fewer on a very wide plot), so a
// million lines stay a few thousand ticks.
void DrawTicks(const Canvas& c, std::string& out) {
  const Timeline& t = c.t;
  const double column = std::max(1.0, c.axis.Width() / kMostTickColumns);
  struct Group {
    std::size_t count = 0;
    std::string lines;  // the first few, one a line
  };
  constexpr std::size_t kLinesPerTick = 8;
  std::map<std::tuple<std::size_t, long, bool>, Group> groups;
  for (const Tick& tick : t.ticks) {
    if (tick.lane >= c.lanes) continue;
    Group& g = groups[{tick.lane, std::lround(c.X(tick.at) / column), tick.sent}];
    if (g.count++ < kLinesPerTick) {
      g.lines += (g.lines.empty() ? "" : "\n") +
                 (tick.sent ? "sent: " + tick.text : std::string("answer read")) +
                 LineRef(tick.line);
    }
  }
  for (const auto& [key, g] : groups) {
    const auto& [lane, at, sent] = key;
    const double x = static_cast<double>(at) * column;
    const double y = c.laneTop[lane] + t.lanes[lane].depth * kRow;
    std::string title = g.lines;
    if (g.count > 1) title = std::to_string(g.count) + " instrument lines here:\n" + title;
    if (g.count > kLinesPerTick) title += "\n\xE2\x80\xA6";
    out += "<line class=\"" + std::string(sent ? "sent" : "answer") + "\" x1=\"" + Number(x) +
           "\" y1=\"" + Number(y + (sent ? 0 : 5)) + "\" x2=\"" + Number(x) + "\" y2=\"" +
           Number(y + (sent ? 6 : kTickRow)) + "\"><title>" + XmlText(title, 1200) +
           "</title></line>\n";
  }
}

void DrawMark(const Canvas& c, const Mark& m, std::string& out) {
  const double x = c.X(m.at);
  const double y = c.laneTop[m.lane] + 6;
  const std::string title =
      (m.error ? "error " + std::to_string(m.number) + ": " : "message: ") + m.text +
      LineRef(m.line) +
      (m.reports > 1 ? "\npassed up by " + std::to_string(m.reports - 1) + " more handlers" : "");
  if (m.error) {
    out += "<path class=\"error\" d=\"M" + Number(x) + " " + Number(y - 6) + "l5 6l-5 6l-5 -6z\">";
  } else {
    out += "<circle class=\"message\" cx=\"" + Number(x) + "\" cy=\"" + Number(y) + "\" r=\"4\">";
  }
  out += "<title>" + XmlText(title, 600) + "</title>";
  out += m.error ? "</path>\n" : "</circle>\n";
}

// Errors over everything else, so none hides under a bar.
void DrawMarks(const Canvas& c, std::string& out) {
  std::size_t marksDrawn = 0;
  for (bool errors : {true, false}) {
    for (const Mark& m : c.t.marks) {
      if (m.error != errors || m.lane >= c.lanes) continue;
      if (marksDrawn == kMostMarks) break;
      ++marksDrawn;
      DrawMark(c, m, out);
    }
  }
}

}  // namespace

std::string RenderSvg(const Timeline& t) {
  const TimeAxis axis(t);
  const Canvas c(t, axis);
  const std::vector<std::size_t> bars = ChosenBars(t);
  const std::vector<std::string> notes = Notes(c, bars.size());

  const double height = c.laneTop[c.lanes] + 10 + kNoteLine * static_cast<double>(notes.size() + 2);
  const double width = c.plotRight + kRightMargin;
  std::string out;
  out.reserve(4096 + bars.size() * 200);
  out += "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"marlin-timeline\" width=\"" +
         Number(width) + "\" height=\"" + Number(height) + "\" viewBox=\"0 0 " + Number(width) +
         " " + Number(height) + "\" font-family=\"sans-serif\" font-size=\"11\">\n";
  out += "<title>Session timeline</title>\n<style>" + std::string(kStyle) + "</style>\n";
  DrawLanesAndAxis(c, width, out);
  DrawBars(c, bars, out);
  DrawTicks(c, out);
  DrawMarks(c, out);
  double y = c.laneTop[c.lanes] + 10;
  for (const std::string& note : notes) Text(out, "note", 6, y += kNoteLine, XmlText(note, 400));
  out += "</svg>\n";
  return out;
}

std::string RenderSvg(const std::vector<std::string>& traceJsonLines) {
  return RenderSvg(BuildTimeline(traceJsonLines));
}

std::string RenderSvg(const std::vector<NamedLines>& groups) {
  return RenderSvg(BuildTimeline(groups));
}

std::string_view Stylesheet() { return kStyle; }

}  // namespace marlin::timeline

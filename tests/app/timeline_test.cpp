// The session timeline: trace lines read into lanes, bars, waits, ticks and marks, drawn as SVG
// that a real XML parser accepts whatever the trace holds.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <regex>

#include "app/timeline/svg_timeline.h"
#include "app/timeline/switch_requests.h"
#include "app/timeline/time_axis.h"
#include "app/timeline/timeline.h"
#include "app/timeline/timeline_model.h"
#include "app/timeline/trace_records.h"
#include "tests/app/xml_check.h"

namespace marlin::testing {
namespace {

using ::testing::AllOf;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using timeline::Timeline;
using Json = nlohmann::ordered_json;

// `seconds` after 2026-12-08T14:03:00Z, as a trace writes it.
std::string TimeAt(double seconds) {
  const double total = 14 * 3600 + 3 * 60 + seconds;
  const int whole = static_cast<int>(total);
  char time[40];
  std::snprintf(time, sizeof time, "2026-12-08T%02d:%02d:%09.6fZ", whole / 3600, whole / 60 % 60,
                total - whole / 60 * 60);
  return time;
}

// Lines as the trace file writes them; `seconds` after 14:03:00, or no time when negative.
std::string Start(const std::string& procedure, double seconds, const std::string& data = "",
                  const std::string& instance = "7") {
  Json j{{"event", "start"},     {"component", "Telvar_Amplifier"},
         {"class", "clsMarlin"}, {"procedure", procedure},
         {"data", data},         {"instance", instance}};
  if (seconds >= 0) j["time"] = TimeAt(seconds);
  return j.dump();
}
std::string End(const std::string& procedure, double seconds, const std::string& instance = "7") {
  Json j = Json::parse(Start(procedure, seconds, "", instance));
  j["event"] = "end";
  j["component"] = j["class"] = "";
  return j.dump();
}
std::string Report(int number, const std::string& description, double seconds, int instance = 7) {
  Json j{{"report",
          {{"number", number}, {"description", description}, {"instance", instance}, {"line", 0}}}};
  j["time"] = TimeAt(seconds);
  return j.dump();
}

// The line as written while `device`'s procedure ran.
std::string On(const std::string& device, const std::string& line) {
  Json j = Json::parse(line);
  j["device"] = device;
  return j.dump();
}

const timeline::Bar* BarOf(const Timeline& t, const std::string& procedure, std::size_t nth = 0) {
  for (const timeline::Bar& b : t.bars) {
    if (b.procedure == procedure && nth-- == 0) return &b;
  }
  return nullptr;
}

TEST(TraceTimes, ReadBackAsWrittenAndRefuseOtherForms) {
  struct Case {
    const char* text;
    std::optional<std::int64_t> micros;
  };
  const Case cases[] = {
      {"1970-01-01T00:00:00.000000Z", 0},
      {"1970-01-01T00:00:01.5Z", 1'500'000},
      {"1970-01-01T00:00:01Z", 1'000'000},
      {"1970-01-01T00:00:00.123456789Z", 123'456},
      {"2026-12-08T14:03:07.123456Z", 1'796'738'587'123'456},
      {"2028-02-29T00:00:00.000000Z", 1'835'395'200'000'000},
      {"2026-02-29T00:00:00.000000Z", std::nullopt},
      {"2026-12-08T24:00:00.000000Z", std::nullopt},
      {"2026-12-08T14:03:07.123456", std::nullopt},
      {"2026-12-08T14:03:07.123456+01:00", std::nullopt},
      {"2026-12-08 14:03:07.123456Z", std::nullopt},
      {"2026-12-08T14:03:07.Z", std::nullopt},
      {"", std::nullopt},
      // Beyond what the system clock holds: no host wrote it, and it could not be drawn.
      {"4052-12-08T14:34:06.037825Z", std::nullopt},
      {"0001-01-01T00:00:00.000000Z", std::nullopt},
      {"2200-01-01T00:00:00.000000Z", 7'258'118'400'000'000},
  };
  for (const Case& c : cases) EXPECT_EQ(timeline::ParseIso8601Utc(c.text), c.micros) << c.text;
  EXPECT_EQ(timeline::FormatMicros(1'796'738'587'123'456), "2026-12-08T14:03:07.123456Z");
}

// A SetState to Operate that switches the band, confirms the output and is read back, then a
// Standby whose band activation fails: bars nest as the procedures ran, the waits carry their
// limits, the lines sent are ticks and the failed procedures end at the error.
TEST(Timeline, NestsProceduresAndShowsWaitsWithLimitsTicksAndErrors) {
  const std::vector<std::string> lines{
      Start("Let clsDevice_Name", 0.0, "False"),
      Start("clsIAmpRemote_GetParametersFromDevList", 0.1),
      End("clsIAmpRemote_GetParametersFromDeviceList", 0.2),
      End("Let clsDevice_Name", 0.3),
      Start("clsIAmpRemote_SetState", 1.0, "NewState = Operate"),
      Start("SetNewState", 1.1, "NewState = Operate"),
      Start("ActivateBand", 1.2),
      Start("SendCmdString", 1.3, "Command = RF:BAND:PATH 2\r\n"),
      End("SendCmdString", 1.31),
      End("ActivateBand", 4.0),
      Start("WaitForComplete", 4.5, "Command = RF:OUTP:STAT?"),
      Start("ReadCmdResponse", 4.6),
      End("ReadCmdResponse", 4.7),
      End("WaitForComplete", 9.5),
      End("SetNewState", 9.6),
      End("clsIAmpRemote_SetState", 9.7),
      Start("clsIAmpRemote_SetState", 10.0, "NewState = Standby"),
      Start("SetNewState", 10.1, "NewState = Standby"),
      Start("WaitForComplete", 10.2, "Command = RF:OUTP:STAT?"),
      End("WaitForComplete", 11.2),
      Start("ActivateBand", 11.5),
      Report(4081, "Switching refused", 12.0),
      Report(4081, "Marlin Amplifier-AMP1: Switching refused", 12.1),
      Start("clsIAmpRemote_GetState", 20.0),
      End("clsIAmpRemote_GetState", 20.5),
      Start("clsIAmpRemote_ResetFault", 21.0),
      Start("ResetFault", 21.1),
      Report(4040, "LAN send data failed!", 21.5),
  };
  const Timeline t = timeline::BuildTimeline(lines);
  ASSERT_TRUE(t.timed);
  EXPECT_EQ(t.records, lines.size());
  ASSERT_EQ(t.lanes.size(), 1u);
  EXPECT_EQ(t.lanes[0].instance, "7");
  EXPECT_EQ(t.lanes[0].depth, 3);

  const auto* devList = BarOf(t, "clsIAmpRemote_GetParametersFromDevList");
  ASSERT_TRUE(devList);
  EXPECT_TRUE(devList->ended) << "its end line names it differently";
  EXPECT_EQ(devList->depth, 1);
  EXPECT_EQ(devList->end - devList->begin, 100'000);

  const auto* band = BarOf(t, "ActivateBand");
  ASSERT_TRUE(band && band->wait);
  EXPECT_EQ(band->depth, 2);
  EXPECT_EQ(band->limit, 17'500'000);
  const auto* confirm = BarOf(t, "WaitForComplete");
  ASSERT_TRUE(confirm && confirm->wait);
  EXPECT_EQ(confirm->waitWhat, "waiting for Operate to be confirmed");
  EXPECT_EQ(confirm->limit, 30'500'000);
  EXPECT_EQ(confirm->end - confirm->begin, 5'000'000);
  const auto* standbyConfirm = BarOf(t, "WaitForComplete", 1);
  ASSERT_TRUE(standbyConfirm);
  EXPECT_EQ(standbyConfirm->limit, 15'500'000);
  EXPECT_FALSE(BarOf(t, "SendCmdString")) << "instrument lines are ticks, not bars";

  ASSERT_EQ(t.ticks.size(), 2u);
  EXPECT_TRUE(t.ticks[0].sent);
  EXPECT_EQ(t.ticks[0].text, "RF:BAND:PATH 2");
  EXPECT_FALSE(t.ticks[1].sent);

  // The failed call ends at its last record, not when the next host call starts.
  const auto* failedBand = BarOf(t, "ActivateBand", 1);
  ASSERT_TRUE(failedBand);
  EXPECT_FALSE(failedBand->ended);
  EXPECT_TRUE(failedBand->reported);
  const auto* failedCall = BarOf(t, "clsIAmpRemote_SetState", 1);
  ASSERT_TRUE(failedCall);
  EXPECT_FALSE(failedCall->ended);
  EXPECT_EQ(failedCall->end, failedBand->end);
  EXPECT_EQ(timeline::FormatMicros(failedCall->end), "2026-12-08T14:03:12.100000Z");
  const auto* getState = BarOf(t, "clsIAmpRemote_GetState");
  ASSERT_TRUE(getState);
  EXPECT_EQ(getState->depth, 0) << "the next host call is not nested in the failed one";
  EXPECT_TRUE(getState->ended);
  EXPECT_TRUE(BarOf(t, "clsIAmpRemote_SetState")->ended);

  // The trace ends inside a failed call: it ends at its last record.
  const auto* lastCall = BarOf(t, "clsIAmpRemote_ResetFault");
  ASSERT_TRUE(lastCall);
  EXPECT_FALSE(lastCall->ended);
  EXPECT_EQ(lastCall->end - lastCall->begin, 500'000);
  EXPECT_FALSE(BarOf(t, "ResetFault")->ended);

  // One failure however many handlers reported it on its way up.
  ASSERT_EQ(t.marks.size(), 2u);
  EXPECT_TRUE(t.marks[0].error);
  EXPECT_EQ(t.marks[0].number, 4081);
  EXPECT_EQ(t.marks[0].line, 22u);
  EXPECT_EQ(t.marks[0].reports, 2u);
  EXPECT_EQ(t.marks[1].number, 4040);

  // The switches: the first from a state no switch confirmed, the second from the first's.
  const auto switches = timeline::SwitchRequests(t);
  ASSERT_EQ(switches.size(), 2u);
  EXPECT_EQ(switches[0].from, std::nullopt);
  EXPECT_EQ(switches[0].to, "Operate");
  EXPECT_EQ(switches[0].result, timeline::SwitchRequest::Result::Done);
  EXPECT_EQ(switches[0].end - switches[0].begin, 8'700'000);
  EXPECT_EQ(switches[0].error, nullptr);
  EXPECT_EQ(switches[1].from, "Operate");
  EXPECT_EQ(switches[1].to, "Standby");
  EXPECT_EQ(switches[1].result, timeline::SwitchRequest::Result::Failed);
  ASSERT_NE(switches[1].error, nullptr);
  EXPECT_EQ(switches[1].error->number, 4081);

  const XmlDocument svg = ParseXml(timeline::RenderSvg(lines));
  ASSERT_TRUE(svg.wellFormed) << svg.error;
  EXPECT_EQ(svg.elements.front().name, "svg");
  EXPECT_THAT(svg.ExternalReferences(), IsEmpty());
  const auto titles = svg.TextsOf("title");
  EXPECT_THAT(titles,
              Contains(HasSubstr("limit of waiting for Operate to be confirmed: 30.500 s")));
  EXPECT_THAT(titles, Contains(HasSubstr("error 4081: Switching refused (line 22)")));
  EXPECT_THAT(titles, Contains(AllOf(HasSubstr("ActivateBand"), HasSubstr("ended by an error"))));
  EXPECT_THAT(titles, Contains(HasSubstr("sent: RF:BAND:PATH 2 (line 8)")));
}

// Devices of one process share its id: records that name their device (or lines kept apart by
// it) are drawn a lane per device, and their interleaved procedures nest within their own lane
// only. Records of no device keep a lane per instance.
TEST(Timeline, EachDeviceGetsALaneWhateverInstanceItsRecordsCarry) {
  const std::vector<timeline::NamedLines> groups{
      {"AMP1",
       {Start("clsIAmpRemote_SetState", 1), Start("WaitForComplete", 2, "Command = SYST:POW:STAT?"),
        End("WaitForComplete", 5), End("clsIAmpRemote_SetState", 6)}},
      {"AMP2", {Start("clsIAmpRemote_SetState", 3), End("clsIAmpRemote_SetState", 4)}},
      {"", {Start("clsDevice_Check", 7, "", "9"), End("clsDevice_Check", 8, "9")}},
  };
  // The same session as one file writes it, in time order.
  const std::vector<std::string> file{On("AMP1", groups[0].lines[0]),
                                      On("AMP1", groups[0].lines[1]),
                                      On("AMP2", groups[1].lines[0]),
                                      On("AMP2", groups[1].lines[1]),
                                      On("AMP1", groups[0].lines[2]),
                                      On("AMP1", groups[0].lines[3]),
                                      groups[2].lines[0],
                                      groups[2].lines[1]};
  for (const Timeline& t : {timeline::BuildTimeline(groups), timeline::BuildTimeline(file)}) {
    ASSERT_EQ(t.lanes.size(), 3u);
    EXPECT_EQ(timeline::LaneName(t.lanes[0]), "AMP1");
    EXPECT_EQ(timeline::LaneName(t.lanes[1]), "AMP2");
    EXPECT_EQ(timeline::LaneName(t.lanes[2]), "instance 9");
    EXPECT_EQ(t.lanes[0].depth, 2);
    EXPECT_EQ(t.lanes[1].depth, 1) << "AMP2's switch is not nested in AMP1's";
    for (const timeline::Bar& b : t.bars) {
      EXPECT_TRUE(b.ended) << b.procedure;
      EXPECT_EQ(b.depth, b.procedure == "WaitForComplete" ? 1 : 0) << b.procedure;
    }
    const auto amp2 = BarOf(t, "clsIAmpRemote_SetState", 1);
    ASSERT_TRUE(amp2);
    EXPECT_EQ(amp2->lane, 1u);
    EXPECT_EQ(amp2->end - amp2->begin, 1'000'000);
  }
  const XmlDocument svg = ParseXml(timeline::RenderSvg(groups));
  ASSERT_TRUE(svg.wellFormed) << svg.error;
  EXPECT_THAT(svg.TextsOf("text"), ::testing::IsSupersetOf({"AMP1", "AMP2", "instance 9"}));
}

// Each handler a failure passes reports it again, with the description the level below raised:
// that is one failure. A retried step that fails again, or another error, is another.
TEST(Timeline, AFailureIsCountedOnceHoweverManyHandlersReportIt) {
  const std::string gone = "LAN send data failed!";
  const std::string passedOn = "Marlin Amplifier-AMP1: " + gone;
  struct Case {
    const char* what;
    std::vector<std::string> lines;
    std::vector<std::size_t> reports;  // of each failure
  };
  const Case cases[] = {
      {"three handlers",
       {Start("clsIAmpRemote_SetState", 1), Start("SetNewState", 2), Report(4040, gone, 3),
        Report(4040, passedOn, 3.1), Report(4040, passedOn, 3.2)},
       {3}},
      {"a retried step that fails again",
       {Start("SetNewState", 2), Report(4040, gone, 3), Start("SendCmdString", 4),
        Report(4040, gone, 5)},
       {1, 1}},
      {"another number",
       {Start("SetNewState", 2), Report(4040, gone, 3), Report(4081, gone, 3)},
       {1, 1}},
      {"another description",
       {Start("SetNewState", 2), Report(4040, gone, 3), Report(4040, "Timeout", 3)},
       {1, 1}},
      {"two devices failing at once",
       {On("AMP1", Start("SetNewState", 2)), On("AMP2", Start("SetNewState", 2)),
        On("AMP1", Report(4040, gone, 3)), On("AMP2", Report(4040, gone, 3)),
        On("AMP1", Report(4040, passedOn, 3)),
        On("AMP2", Report(4040, "Marlin Amplifier-AMP2: " + gone, 3))},
       {2, 2}},
  };
  for (const Case& c : cases) {
    const Timeline t = timeline::BuildTimeline(c.lines);
    std::vector<std::size_t> reports;
    for (const timeline::Mark& m : t.marks) reports.push_back(m.reports);
    EXPECT_EQ(reports, c.reports) << c.what;
  }
}

// "From" is the state the device's last switch confirmed, while nothing came between that may
// have changed or lost it.
TEST(Timeline, ASwitchStartsFromTheStateTheDevicesLastSwitchConfirmed) {
  const auto operate = [](double at) {
    return std::vector<std::string>{Start("clsIAmpRemote_SetState", at, "NewState = Operate"),
                                    End("clsIAmpRemote_SetState", at + 1)};
  };
  const auto call = [](const char* procedure, double at) {
    return std::vector<std::string>{Start(procedure, at), End(procedure, at + 0.5)};
  };
  const std::string standby = Start("clsIAmpRemote_SetState", 20, "NewState = Standby");
  struct Case {
    const char* what;
    std::vector<std::vector<std::string>> parts;
    std::optional<std::string> from;
  };
  const Case cases[] = {
      {"a state read between",
       {operate(0), call("clsIAmpRemote_GetState", 5), {standby}},
       "Operate"},
      {"a fault reset between",
       {operate(0), call("clsIAmpRemote_ResetFault", 5), {standby}},
       std::nullopt},
      {"a connection check between",
       {operate(0), call("clsDevice_Check", 5), {standby}},
       std::nullopt},
      {"the switch before failed",
       {{Start("clsIAmpRemote_SetState", 0, "NewState = Operate"), Report(4040, "gone", 1)},
        {standby}},
       std::nullopt},
      {"the switch before was another device's",
       {{On("AMP2", operate(0)[0]), On("AMP2", operate(0)[1])}, {On("AMP1", standby)}},
       std::nullopt},
  };
  for (const Case& c : cases) {
    std::vector<std::string> lines;
    for (const auto& part : c.parts) lines.insert(lines.end(), part.begin(), part.end());
    const auto switches = timeline::SwitchRequests(timeline::BuildTimeline(lines));
    ASSERT_EQ(switches.size(), 2u) << c.what;
    EXPECT_EQ(switches[1].to, "Standby") << c.what;
    EXPECT_EQ(switches[1].from, c.from) << c.what;
  }
}

// Idle stretches of more than 10 s, with nothing but state reads running, are drawn as narrow
// gaps, and every switch stays at least 4 px wide.
TEST(Timeline, LongIdleStretchesAreCollapsedIntoGaps) {
  const auto poll = [](double at) {
    return std::vector<std::string>{Start("clsIAmpRemote_GetState", at),
                                    End("clsIAmpRemote_GetState", at + 0.1)};
  };
  const auto switchAt = [](double at, double seconds = 1) {
    return std::vector<std::string>{Start("clsIAmpRemote_SetState", at, "NewState = Operate"),
                                    End("clsIAmpRemote_SetState", at + seconds)};
  };
  const auto join = [](std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
  };
  struct Case {
    const char* what;
    std::vector<std::string> lines;
    std::size_t gaps;
  };
  const Case cases[] = {
      {"9.9 s between switches", join({switchAt(0), switchAt(10.9)}), 0},
      {"10.1 s between switches", join({switchAt(0), switchAt(11.1)}), 1},
      {"reads in between", join({switchAt(0), poll(5), poll(10), poll(15), switchAt(30)}), 1},
      {"a failed read in between",
       join({switchAt(0),
             {Start("clsIAmpRemote_GetState", 15), Report(4040, "gone", 15.1)},
             switchAt(30)}),
       2},
      {"nothing but reads", join({poll(0), poll(20), poll(40)}), 0},
      {"a switch of 1 s every 8 s for an hour",
       [&] {
         std::vector<std::string> all;
         for (int i = 0; i < 450; ++i) {
           const auto one = switchAt(8.0 * i);
           all.insert(all.end(), one.begin(), one.end());
         }
         return all;
       }(),
       0},
      {"switches of 300 ms over an hour",
       join({switchAt(0, 0.3), switchAt(600, 0.3), switchAt(1800, 0.3), switchAt(3599, 0.3)}), 3},
  };
  for (const Case& c : cases) {
    const Timeline t = timeline::BuildTimeline(c.lines);
    const timeline::TimeAxis axis(t);
    EXPECT_EQ(axis.Gaps().size(), c.gaps) << c.what;
    EXPECT_GE(axis.Width(), timeline::kNarrowestPlot) << c.what;
    for (const timeline::Bar& b : t.bars) {
      if (b.procedure != "clsIAmpRemote_SetState") continue;
      EXPECT_GE(axis.X(b.end) - axis.X(b.begin), timeline::kNarrowestSwitch - 1e-6) << c.what;
    }
  }
}

// The summary's longest waits: the five longest of seven, longest first.
TEST(TraceReportPage, ListsTheFiveLongestWaitsLongestFirst) {
  std::vector<std::string> lines;
  double at = 0;
  for (double seconds : {3.0, 7.0, 1.0, 9.0, 5.0, 2.0, 8.0}) {
    lines.push_back(Start("WaitForComplete", at, "Command = RF:OUTP:STAT?"));
    lines.push_back(End("WaitForComplete", at + seconds));
    at += seconds + 1;
  }
  const XmlDocument doc = ParseXml(timeline::RenderReportHtml(lines, "waits.jsonl"));
  ASSERT_TRUE(doc.wellFormed) << doc.error;
  std::string cell;
  for (std::size_t i = 0; i + 1 < doc.elements.size(); ++i) {
    if (doc.elements[i].name == "th" && doc.elements[i].text == "Longest waits") {
      cell = doc.elements[i + 1].text;
    }
  }
  std::vector<std::string> listed;
  const std::regex span(R"(: ([0-9.]+) s)");
  for (std::sregex_iterator it(cell.begin(), cell.end(), span), end; it != end; ++it) {
    listed.push_back((*it)[1]);
  }
  EXPECT_THAT(listed, ::testing::ElementsAre("9.000", "8.000", "7.000", "5.000", "3.000")) << cell;
}

TEST(Timeline, HostileTextStaysTextAndBrokenLinesAreSkippedAndCounted) {
  const std::string hostile = "</svg><script>alert(\"x\")</script>&'\x01";
  const std::vector<std::string> lines{
      Start(hostile, 0.0, hostile, hostile),
      "{\"event\":\"start\",\"procedure\":\"\xff\xfe\",\"instance\":\"7\"}",
      "not json at all",
      Report(13, hostile, 0.5),
      "{\"event\":\"start\",\"procedure\":\"X\",\"time\":\"yesterday\"}",
      R"({"message":{"text":"<b>hi</b>","style":64,"title":"T"},"time":"2026-12-08T14:03:01.000000Z"})",
      End(hostile, 2.0, hostile),
      "",
  };
  const Timeline t = timeline::BuildTimeline(lines);
  EXPECT_EQ(t.records, 4u);
  EXPECT_EQ(t.malformedLines, (std::vector<std::size_t>{2, 3, 5}));
  for (const std::string& text :
       {timeline::RenderSvg(lines), timeline::RenderReportHtml(lines, hostile)}) {
    const XmlDocument doc = ParseXml(text);
    ASSERT_TRUE(doc.wellFormed) << doc.error << "\n" << text;
    EXPECT_THAT(doc.ExternalReferences(), IsEmpty());
    for (const XmlElement& e : doc.elements) EXPECT_NE(e.name, "script");
    EXPECT_THAT(doc.TextsOf("title"),
                Contains(HasSubstr("</svg><script>alert(\"x\")</script>&'\\x01")));
    EXPECT_THAT(doc.TextsOf("title"), Contains(HasSubstr("message: T: <b>hi</b>")));
    EXPECT_THAT(text,
                HasSubstr("3 lines are no trace record and were skipped, the first at line 2"));
  }
}

// An older trace has no times: its records are placed by their order and still drawn.
TEST(Timeline, RecordsWithoutTimesArePlacedByTheirOrder) {
  const std::vector<std::string> lines{Start("clsDevice_Check", -1),
                                       Start("CheckDevicePhysical", -1),
                                       End("CheckDevicePhysical", -1), End("clsDevice_Check", 1.0)};
  const Timeline t = timeline::BuildTimeline(lines);
  EXPECT_FALSE(t.timed);
  EXPECT_EQ(t.first, 1);
  EXPECT_EQ(t.last, 4);
  const auto* check = BarOf(t, "clsDevice_Check");
  ASSERT_TRUE(check);
  EXPECT_EQ(check->begin, 1);
  EXPECT_EQ(check->end, 4);
  const std::string svg = timeline::RenderSvg(lines);
  EXPECT_TRUE(ParseXml(svg).wellFormed);
  EXPECT_THAT(svg, HasSubstr("every record is placed by its order"));
  EXPECT_THAT(svg, HasSubstr(">record 2<"));
}

// A long session stays a picture of bounded size, and says what it left out.
TEST(Timeline, AHugeTraceIsDrawnBoundedAndSaysSo) {
  std::vector<std::string> lines;
  // Written out directly: building 24,000 lines as JSON objects is slow in a sanitizer build.
  const auto line = [&](const char* event, const char* procedure, const char* data, int micros) {
    char text[256];
    std::snprintf(text, sizeof text,
                  R"({"event":"%s","procedure":"%s","data":"%s","instance":"7",)"
                  R"("time":"2026-12-08T14:03:%02d.%06dZ"})",
                  event, procedure, data, micros / 1000000, micros % 1000000);
    lines.push_back(text);
  };
  for (int call = 0; call < 6000; ++call) {
    const int at = call * 2000;
    line("start", "clsIAmpRemote_GetState", "", at);
    line("start", "SendCmdString", "Command = *STB?", at + 100);
    line("end", "SendCmdString", "", at + 200);
    line("end", "clsIAmpRemote_GetState", "", at + 1000);
  }
  lines.push_back(Report(4040, "LAN send data failed!", 15.0));
  const std::string svg = timeline::RenderSvg(lines);
  EXPECT_THAT(svg, HasSubstr("Only 5000 of 6000 procedures are drawn"));
  EXPECT_LT(svg.size(), 3'000'000u);
  const XmlDocument doc = ParseXml(svg);
  ASSERT_TRUE(doc.wellFormed) << doc.error;
  std::size_t ticks = 0;
  for (const XmlElement& e : doc.elements)
    ticks += e.name == "line" && e.attributes.count("class") && e.attributes.at("class") == "sent";
  EXPECT_LE(ticks, 1001u) << "one tick per pixel column";
  EXPECT_THAT(doc.TextsOf("title"), Contains(HasSubstr("instrument lines here:\nsent: *STB?")));
  EXPECT_THAT(doc.TextsOf("title"), Contains(HasSubstr("error 4040")));
}

}  // namespace
}  // namespace marlin::testing

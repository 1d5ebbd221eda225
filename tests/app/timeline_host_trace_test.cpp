// A trace written the way the COM server writes its own (the stand-alone host's trace file on
// the server's clock, the clock its waits run on), drawn by the timeline as marlinctl's is.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>

#include "app/timeline/svg_timeline.h"
#include "app/timeline/switch_requests.h"
#include "app/timeline/time_axis.h"
#include "app/timeline/timeline.h"
#include "app/timeline/timeline_model.h"
#include "host/standalone_host.h"
#include "host/thread_host.h"
#include "tests/app/xml_check.h"
#include "tests/host/temp_folder.h"
#include "tests/support/connected_rig.h"

namespace marlin::testing {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

TEST(TimelineOfAHostTrace, ShowsTheWaitsAsLongAsTheyRanOnTheHostsClock) {
  TempFolder folder;
  ConnectedRig c(Amplifier("PA4415", true), kLanDevice);
  StandaloneHostConfig config;
  config.traceFile = folder.Path() / "server-trace.jsonl";
  config.clock = c.rig.clock;
  config.waitWindowAllowed = true;
  StandaloneHostFactory factory(config);
  host::Replace(factory.MakeTrace(*host::ThreadContext()));

  c.Band(2);
  const Clock::Duration before = c.rig.clock->Now();
  c.amp.clsIAmpRemote_SetState(3);
  const double switching = ToMilliseconds(c.rig.clock->Now() - before);
  // Refused without a connection: an error report.
  c.amp.clsDevice_Status_Let(0);
  EXPECT_THROW(c.amp.clsIAmpRemote_SetState(2), MarlinError);

  std::vector<std::string> lines;
  std::istringstream file(TempFolder::Read(config.traceFile));
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  const timeline::Timeline t = timeline::BuildTimeline(lines);
  ASSERT_TRUE(t.timed);
  EXPECT_THAT(t.malformedLines, IsEmpty());
  ASSERT_EQ(t.lanes.size(), 1u);
  const auto call = std::find_if(t.bars.begin(), t.bars.end(), [](const timeline::Bar& b) {
    return b.procedure == "clsIAmpRemote_SetState";
  });
  ASSERT_NE(call, t.bars.end());
  // Times from the clock the waits ran on: the bar lasts exactly the virtual time SetState took.
  EXPECT_NEAR(static_cast<double>(call->end - call->begin) / 1000, switching, 0.001);
  EXPECT_GT(switching, 2000) << "a band switch pause at the least";

  const XmlDocument svg = ParseXml(timeline::RenderSvg(lines));
  ASSERT_TRUE(svg.wellFormed) << svg.error;
  const auto titles = svg.TextsOf("title");
  EXPECT_THAT(titles,
              Contains(HasSubstr("limit of waiting for the band path to switch: 17.500 s")));
  EXPECT_THAT(titles,
              Contains(HasSubstr("limit of waiting for Operate to be confirmed: 30.500 s")));
  EXPECT_THAT(titles, Contains(HasSubstr("sent: RF:BAND:PATH 2")));
  EXPECT_THAT(
      titles,
      Contains(HasSubstr(
          "ActivateBand\nwaits: waiting for the band path to switch\n2.500 s of 17.500 s")));
  EXPECT_THAT(titles, Contains(HasSubstr("error 4040: ")));
}

// An hour of four devices, one on each route, switching 120 times each with idle stretches
// between, and at the end one switch refused at once: the records alone give a lane per device,
// every switch is listed as done from the state the one before confirmed, nothing but the
// refused switch is drawn as ended by an error, and every switch is drawn at least 4 px wide.
TEST(TimelineOfAHostTrace, AnHourOfFourDevicesSwitchingKeepsEverySwitchReadable) {
  constexpr int kSwitchesEach = 120;
  std::vector<std::string> lines;
  for (std::size_t d = 0; d < std::size(kAllRoutes); ++d) {
    ConnectedRig c(Amplifier("PA4415", true), kAllRoutes[d]);
    StandaloneHostConfig config;
    config.clock = c.rig.clock;
    config.traceLines = [&lines](const std::string& line, const std::string& /*device*/) {
      lines.push_back(line);
    };
    StandaloneHostFactory factory(config);
    host::Replace(factory.MakeTrace(*host::ThreadContext()));
    c.Band(2);
    c.rig.clock->SleepFor(std::chrono::seconds(7 * d));
    for (int i = 0; i < kSwitchesEach; ++i) {
      c.amp.clsIAmpRemote_SetState(i % 2 == 0 ? 3 : 2);
      c.rig.clock->SleepFor(std::chrono::seconds(12 + (i * 7 + d * 5) % 20));
    }
  }
  {
    ConnectedRig c(Amplifier("PA4415", true), kLanDevice);
    StandaloneHostConfig config;
    config.clock = c.rig.clock;
    config.traceLines = [&lines](const std::string& line, const std::string& /*device*/) {
      lines.push_back(line);
    };
    StandaloneHostFactory factory(config);
    host::Replace(factory.MakeTrace(*host::ThreadContext()));
    c.rig.clock->SleepFor(std::chrono::seconds(3500));
    c.amp.clsDevice_Status_Let(0);
    EXPECT_THROW(c.amp.clsIAmpRemote_SetState(3), MarlinError);
  }
  // As one file holds them: in time order.
  const auto time = [](const std::string& line) { return line.substr(line.rfind("\"time\"")); };
  std::stable_sort(lines.begin(), lines.end(),
                   [&](const std::string& a, const std::string& b) { return time(a) < time(b); });

  const timeline::Timeline t = timeline::BuildTimeline(lines);
  ASSERT_TRUE(t.timed);
  std::set<std::string> lanes;
  for (const timeline::Lane& lane : t.lanes) lanes.insert(timeline::LaneName(lane));
  EXPECT_EQ(lanes, std::set<std::string>(std::begin(kAllRoutes), std::end(kAllRoutes)));
  ASSERT_EQ(t.marks.size(), 1u);
  EXPECT_EQ(t.marks[0].number, 4040);
  EXPECT_GT(t.last - t.first, std::int64_t{3000} * 1'000'000) << "about an hour";
  for (const timeline::Bar& b : t.bars) {
    const bool refused = b.procedure == "clsIAmpRemote_SetState" && b.begin == t.marks[0].at;
    EXPECT_EQ(b.ended, !refused) << b.procedure << " " << b.line;
  }

  const auto switches = timeline::SwitchRequests(t);
  ASSERT_EQ(switches.size(), 4u * kSwitchesEach + 1);
  std::size_t unknownFrom = 0, done = 0;
  for (const timeline::SwitchRequest& r : switches) {
    done += r.result == timeline::SwitchRequest::Result::Done;
    if (!r.from) {
      ++unknownFrom;
    } else {
      EXPECT_NE(*r.from, r.to) << "each switch goes the other way";
    }
  }
  EXPECT_EQ(done, 4u * kSwitchesEach);
  const timeline::TimeAxis axis(t);
  for (const timeline::SwitchRequest& r : switches) {
    if (r.result != timeline::SwitchRequest::Result::Done) continue;
    // The shortest is scaled to exactly 4 px: allow for rounding.
    EXPECT_GE(axis.X(r.end) - axis.X(r.begin), timeline::kNarrowestSwitch - 1e-6);
  }
  EXPECT_EQ(unknownFrom, 5u) << "each device's first, and the one after disconnecting";

  EXPECT_LT(axis.Width(), timeline::kWidestPlot) << "within bounds without squeezing";
  EXPECT_FALSE(axis.Gaps().empty());
  const XmlDocument svg = ParseXml(timeline::RenderSvg(lines));
  ASSERT_TRUE(svg.wellFormed) << svg.error;
  std::size_t drawn = 0;
  for (std::size_t i = 0; i + 1 < svg.elements.size(); ++i) {
    const XmlElement& e = svg.elements[i];
    if (e.name != "rect" || svg.elements[i + 1].text.rfind("clsIAmpRemote_SetState", 0) != 0) {
      continue;
    }
    ++drawn;
    EXPECT_GE(std::stod(e.attributes.at("width")), timeline::kNarrowestSwitch);
  }
  EXPECT_EQ(drawn, switches.size());
}

}  // namespace
}  // namespace marlin::testing

// A trace written the way the COM server writes its own (the stand-alone host's trace file on
// the server's clock, the clock its waits run on), drawn by the timeline as marlinctl's is.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "app/timeline/timeline.h"
#include "app/timeline/timeline_model.h"
#include "driver/host_registry.h"
#include "host/standalone_host.h"
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
  host::Replace(factory.MakeTrace());

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

}  // namespace
}  // namespace marlin::testing

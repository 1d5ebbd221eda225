// The page's timeline while two devices act at once, and the report of the trace file the panel
// wrote: a lane per device, named by it, each with only its own procedures, nested as that
// device's driver ran them, none drawn as ended by an error.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <future>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "tests/app/panel/panel_fixture.h"
#include "tests/app/xml_check.h"

namespace marlin::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

std::vector<std::string> Model(const std::string& model) {
  return {"--model", model, "--power", "on", "--gateway-port", "0", "--gpib-address", "3"};
}

std::string LanEntry(const std::string& name, const SimProcess& sim) {
  return "[devices." + name +
         "]\ninterface = 50\nlan_address = \"127.0.0.1:" + std::to_string(sim.Port()) +
         "\"\ndescription = \"" + name + "\"\n";
}

std::string OperateOnBand(int band) {
  return R"({"state": 3, "bandpath": )" + std::to_string(band) +
         R"(, "outputmode": 0, "operatingclass": 0})";
}

// What the SVG draws in one lane: its procedures (by title, with their rows) and the
// instrument lines it shows as sent.
struct DrawnLane {
  double top = 0, height = 0;
  std::vector<std::pair<std::string, int>> bars;  // title, row from 0
  std::vector<std::string> failed;
  std::string sent;
};

std::map<std::string, DrawnLane> LanesOf(const XmlDocument& svg) {
  std::vector<DrawnLane> lanes;
  std::vector<std::string> names;
  const auto& e = svg.elements;
  auto titleAfter = [&](std::size_t i) {
    return i + 1 < e.size() && e[i + 1].name == "title" ? e[i + 1].text : std::string();
  };
  auto laneAt = [&](double y) -> DrawnLane* {
    for (DrawnLane& lane : lanes) {
      if (y >= lane.top && y < lane.top + lane.height) return &lane;
    }
    return nullptr;
  };
  constexpr double kRow = 16;
  for (std::size_t i = 0; i < e.size(); ++i) {
    const auto cls = e[i].attributes.find("class");
    if (cls == e[i].attributes.end()) continue;
    if (e[i].name == "rect" && cls->second == "lane") {
      lanes.push_back(
          {std::stod(e[i].attributes.at("y")), std::stod(e[i].attributes.at("height"))});
    } else if (e[i].name == "text" && cls->second == "lane-name") {
      names.push_back(e[i].text);
    } else if (e[i].name == "rect" &&
               (cls->second.rfind("proc", 0) == 0 || cls->second.rfind("wait", 0) == 0)) {
      const double y = std::stod(e[i].attributes.at("y"));
      DrawnLane* lane = laneAt(y);
      if (!lane) {
        ADD_FAILURE() << "a bar outside every lane: " << titleAfter(i);
        continue;
      }
      lane->bars.push_back({titleAfter(i), static_cast<int>((y - lane->top) / kRow)});
      if (cls->second.find("failed") != std::string::npos) lane->failed.push_back(titleAfter(i));
    } else if (e[i].name == "line" && cls->second == "sent") {
      if (DrawnLane* lane = laneAt(std::stod(e[i].attributes.at("y1")))) {
        lane->sent += titleAfter(i) + "\n";
      }
    }
  }
  std::map<std::string, DrawnLane> byName;
  for (std::size_t i = 0; i < lanes.size() && i < names.size(); ++i) byName[names[i]] = lanes[i];
  return byName;
}

TEST(PanelTimeline, TwoDevicesActingAtOnceGetALaneEachWithOnlyTheirOwnProceduresNested) {
  TempFolder folder;
  SimProcess first(Model("PA4520"), folder.Path() / "first.jsonl");
  SimProcess second(Model("PA4520"), folder.Path() / "second.jsonl");
  PanelProcess panel(folder, LanEntry("AMP1", first) + LanEntry("AMP2", second),
                     {"--trace", (folder.Path() / "trace.jsonl").string()});
  auto client = panel.Client();
  // Drawn before the actions: the picture drawn after them must not be this one.
  ASSERT_TRUE(client->Get("/api/timeline"));

  auto act = [&](const std::string& name, int band) {
    return std::async(std::launch::async, [&panel, name, band] {
      auto own = panel.Client();
      const Answer connect = Post(*own, name, "connect");
      if (connect.body.value("ok", false) != true) return connect;
      return Post(*own, name, "state", OperateOnBand(band));
    });
  };
  auto amp1 = act("AMP1", 2);
  auto amp2 = act("AMP2", 1);
  EXPECT_EQ(amp1.get().body["ok"], true);
  EXPECT_EQ(amp2.get().body["ok"], true);

  const auto check = [](const XmlDocument& picture) {
    ASSERT_TRUE(picture.wellFormed) << picture.error;
    EXPECT_THAT(picture.TextsOf("text"), ::testing::IsSupersetOf({"AMP1", "AMP2"}));
    const std::map<std::string, DrawnLane> lanes = LanesOf(picture);
    ASSERT_EQ(lanes.size(), 2u);
    for (const auto& [name, band, other] : {std::tuple{"AMP1", "2", "1"}, {"AMP2", "1", "2"}}) {
      SCOPED_TRACE(name);
      const DrawnLane& lane = lanes.at(name);
      EXPECT_THAT(lane.sent, HasSubstr(std::string("RF:BAND:PATH ") + band));
      EXPECT_THAT(lane.sent, Not(HasSubstr(std::string("RF:BAND:PATH ") + other)));
      EXPECT_THAT(lane.failed, ::testing::IsEmpty());
      // One switch of its own, on the lane's first row, with the driver's steps inside it.
      std::vector<int> switchRows, waitRows;
      for (const auto& [title, row] : lane.bars) {
        if (title.rfind("clsIAmpRemote_SetState", 0) == 0) switchRows.push_back(row);
        if (title.find("WaitForComplete") != std::string::npos) waitRows.push_back(row);
      }
      EXPECT_THAT(switchRows, ElementsAre(0));
      ASSERT_FALSE(waitRows.empty());
      for (int row : waitRows) EXPECT_GT(row, 0);
    }
  };
  const httplib::Result timeline = client->Get("/api/timeline");
  ASSERT_TRUE(timeline);
  check(ParseXml(timeline->body));
  EXPECT_EQ(panel.End(SIGTERM), 0);

  const auto report = folder.Path() / "report.html";
  const Finished run = RunToEnd({kMarlinctl, "trace-report",
                                 (folder.Path() / "trace.jsonl").string(), "-o", report.string()});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.out, HasSubstr(" 2 lanes, 0 errors"));
  check(ParseXml(TempFolder::Read(report)));
}

}  // namespace
}  // namespace marlin::testing

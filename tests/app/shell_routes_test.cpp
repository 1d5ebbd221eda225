// The console contract end to end: marlinctl shell and marlin-sim as separate processes over
// loopback, on each route, checked by result lines, trace file and the simulator's transcript.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

#include "tests/app/e2e_fixture.h"

namespace marlin::testing {
namespace {

using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::StartsWith;

struct RouteCase {
  const char* name;
  TestRoute route;
  int interfaceCode;
  const char* serial;  // Info member 3: the GPIB route leaves it empty
};

class ShellOverRoute : public ::testing::TestWithParam<RouteCase> {};

// True when `wanted` appears in `texts` in this order, other lines between allowed.
bool InOrder(const std::vector<std::string>& texts, const std::vector<std::string>& wanted) {
  std::size_t next = 0;
  for (const std::string& t : texts) {
    if (next < wanted.size() && t == wanted[next]) ++next;
  }
  return next == wanted.size();
}

TEST_P(ShellOverRoute, SwitchesTheAmplifierAndTracesEveryCall) {
  const RouteCase& c = GetParam();
  TempFolder folder;
  SimProcess sim(
      {"--model", "PA4415", "--power", "on", "--gateway-port", "0", "--gpib-address", "3"},
      folder.Path() / "transcript.jsonl");
  const auto devices = folder.Write("devices.toml", DeviceListFor(c.route, sim));
  const auto trace = folder.Path() / "trace.jsonl";

  const Finished shell =
      RunToEnd({kMarlinctl, "shell", "--devices", devices.string(), "--trace", trace.string(),
                "--time-scale", kTimeScale},
               "get devicetype\nname AMP1\nget interface\nget description\nstatus 1\ncheck\n"
               "get status\nget info\namplparams bandpath=2 outputmode=0 operatingclass=1\n"
               "setstate 3\ngetstate\ncheckforerror\nsetstate 2\ngetstate\nstatus 0\ncheck\n"
               "quit\n");
  ASSERT_EQ(shell.status, 0) << shell.err;
  const std::vector<std::string> lines = Lines(shell.out);
  ASSERT_EQ(lines.size(), 17u) << shell.out;
  EXPECT_THAT(std::vector(lines.begin(), lines.begin() + 7),
              ElementsAreArray(std::vector<std::string>{
                  "ok \"PA4400 Amplifier\"", "ok", "ok " + std::to_string(c.interfaceCode),
                  "ok \"Bench amplifier\"", "ok", "ok", "ok 1"}));
  const nlohmann::json info = nlohmann::json::parse(lines[7].substr(3));
  EXPECT_THAT(info[1].get<std::string>(), HasSubstr("PA4415"));
  EXPECT_EQ(info[2], c.serial);
  EXPECT_THAT(std::vector(lines.begin() + 8, lines.end()),
              ElementsAreArray({"ok", "ok", "ok 3", "ok \"\"", "ok",
                                // A recognised model with its band path and RF off reads Off.
                                "ok 0", "ok", "ok", "ok"}));

  // Every procedure that started ended, and SetState was traced with its request.
  std::map<std::string, int> open;
  bool operateTraced = false;
  for (const nlohmann::json& line : JsonLines(trace)) {
    std::string procedure = line.value("procedure", "");
    if (procedure == "clsIAmpRemote_GetParametersFromDeviceList") {
      procedure = "clsIAmpRemote_GetParametersFromDevList";
    }
    if (line.value("event", "") == "start") ++open[procedure];
    if (line.value("event", "") == "end") --open[procedure];
    if (procedure == "clsIAmpRemote_SetState" && line.value("data", "") == "NewState = Operate") {
      operateTraced = true;
    }
    EXPECT_FALSE(line.contains("report")) << line.dump();
  }
  for (const auto& [procedure, count] : open) EXPECT_EQ(count, 0) << procedure;
  EXPECT_TRUE(operateTraced);
  EXPECT_GT(open.count("CheckDevicePhysical"), 0u);

  // What reached the instrument, by the route under test.
  const std::vector<nlohmann::json> received = sim.Received();
  ASSERT_FALSE(received.empty());
  for (const nlohmann::json& entry : received) {
    EXPECT_THAT(entry.value("peer", ""), StartsWith(PeerPrefix(c.route)));
  }
  EXPECT_TRUE(InOrder(Texts(received), {"*IDN?", "RF:BAND:PATH 2", "CONT2:AMOD:FGA 0",
                                        "RF:OUTP:STAT ON", "RF:OUTP:STAT OFF"}))
      << ::testing::PrintToString(Texts(received));
}

INSTANTIATE_TEST_SUITE_P(Routes, ShellOverRoute,
                         ::testing::Values(RouteCase{"Lan", TestRoute::Lan, 50, "100001"},
                                           RouteCase{"Visa", TestRoute::Visa, 60, "100001"},
                                           RouteCase{"GpibGateway", TestRoute::Gpib, 10, ""}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace marlin::testing

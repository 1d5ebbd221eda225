// marlinctl demo, the README's main job, on each route.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include "tests/app/e2e_fixture.h"

namespace marlin::testing {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;

class Demo : public ::testing::TestWithParam<const char*> {};

TEST_P(Demo, RunsTheMainJobEndToEndAndSumsItUp) {
  TempFolder folder;
  const auto trace = folder.Path() / "demo-trace.jsonl";
  const Finished run = RunToEnd({kMarlinctl, "demo", "--route", GetParam(), "--model", "PA4520",
                                 "--time-scale", "50", "--trace", trace.string()});
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_THAT(run.out,
              AllOf(HasSubstr("Time scale 50:"), HasSubstr("[devices.DEMO]"), HasSubstr("waited  "),
                    HasSubstr("-> now Operate (3)"), HasSubstr("All 9 of 9 steps succeeded")));
  // Each wait is named by the driver's wait table, none by its procedure's trace label, and
  // limited as on its route: 61 polls of 500 ms, on VISA each with its query's 200 ms pause.
  const std::string operate = std::string(GetParam()) == "visa" ? "42.7" : "30.5";
  EXPECT_THAT(run.out, AllOf(HasSubstr("of 4.0 s  waiting for the amplifier to settle in its new"),
                             HasSubstr("of " + operate + " s  waiting for Operate to be confirmed"),
                             Not(HasSubstr(": pause"))));
  // The PA4520's wait window, drawn once per state request.
  EXPECT_THAT(run.err,
              AllOf(HasSubstr("[OPERATE, red] DEMO\n"), HasSubstr("[POWER OFF, green] DEMO\n")));
  EXPECT_FALSE(JsonLines(trace).empty());
}

INSTANTIATE_TEST_SUITE_P(Routes, Demo, ::testing::Values("lan", "visa", "gpib"));

struct Broken {
  const char* fault;
  int status;
  const char* said;
};

class DemoWithFault : public ::testing::TestWithParam<Broken> {};

TEST_P(DemoWithFault, EndsWithTheFailuresExitStatusAndStillDisconnects) {
  const Broken& c = GetParam();
  const Finished run =
      RunToEnd({kMarlinctl, "demo", "--model", "PA4415", "--fault", c.fault, "--time-scale", "50"});
  EXPECT_EQ(run.status, c.status) << run.out;
  EXPECT_THAT(run.out, AllOf(HasSubstr(c.said), HasSubstr("FAILED")));
  if (c.status == 1) EXPECT_THAT(run.out, HasSubstr("disconnect              ok"));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, DemoWithFault,
    ::testing::Values(Broken{"lock=FRONT", 1,
                             "error 4081: Marlin Amplifier-DEMO: Marlin Amplifier-DEMO<FRONT>:"},
                      Broken{"silent", 3, "not connected: "}));

class DemoInterrupted : public ::testing::TestWithParam<int> {};

TEST_P(DemoInterrupted, LeavesNoTemporaryFolder) {
  ChildProcess demo({kMarlinctl, "demo", "--time-scale", "1", "--wait-window", "off"});
  const std::string intro = "Device list ";
  std::filesystem::path list;
  while (auto line = demo.ReadLine(std::chrono::seconds(20))) {
    if (line->rfind(intro, 0) == 0) {
      list = line->substr(intro.size(), line->size() - intro.size() - 1);  // without its ":"
      break;
    }
  }
  ASSERT_FALSE(list.empty()) << "the demo did not name its device list";
  ASSERT_TRUE(std::filesystem::exists(list));
  ASSERT_TRUE(demo.ReadLine(std::chrono::seconds(20))) << "the demo did not go on";

  demo.Signal(GetParam());
  EXPECT_NE(demo.Finish(std::chrono::seconds(20)), -1);
  EXPECT_FALSE(std::filesystem::exists(list.parent_path())) << list.parent_path();
}

INSTANTIATE_TEST_SUITE_P(Signals, DemoInterrupted, ::testing::Values(SIGINT, SIGTERM),
                         [](const auto& info) {
                           return std::string(info.param == SIGINT ? "Sigint" : "Sigterm");
                         });

}  // namespace
}  // namespace marlin::testing

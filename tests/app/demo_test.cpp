// marlinctl demo, the README's main job, on each route.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/app/e2e_fixture.h"

namespace marlin::testing {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;

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

}  // namespace
}  // namespace marlin::testing

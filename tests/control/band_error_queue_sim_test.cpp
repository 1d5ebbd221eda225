// Any entry in the error queue after a band switch stops Operate, whatever its sign, on every
// route.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/case_names.h"
#include "tests/support/connected_rig.h"
#include "tests/support/error_of.h"

namespace marlin::testing {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

struct QueueCase {
  const char* title;
  int bandBefore;  // 1: the path is switched and checked; 2: already set, only the final check
  sim::ErrorEntry entry;
};

void PrintTo(const QueueCase& c, std::ostream* os) { *os << c.title; }

class BandErrorQueue : public ::testing::TestWithParam<std::tuple<QueueCase, const char*>> {};

TEST_P(BandErrorQueue, AnyEntryStopsOperateWithRfOff) {
  const auto& [c, device] = GetParam();
  ConnectedRig rig(Amplifier("PA4415", true, c.bandBefore), device);
  rig.Band(2);
  rig.rig.amp->PushError(c.entry);
  const MarlinError e = ErrorOf([&] { rig.amp.clsIAmpRemote_SetState(state::kOperate); });
  EXPECT_EQ(e.Number(), 4081);
  EXPECT_THAT(e.Description(),
              HasSubstr(std::string(device) + " reports error: " + std::to_string(c.entry.code) +
                        ",\"" + c.entry.text + "\""));

  const auto lines = rig.rig.ReceivedLines();
  auto query = std::find(lines.begin(), lines.end(), "SYST:ERR?");
  ASSERT_NE(query, lines.end());
  ASSERT_NE(query + 1, lines.end());
  EXPECT_EQ(*(query + 1), "*CLS") << "the queue is cleared before the error is raised";
  EXPECT_THAT(lines, Not(Contains("RF:OUTP:STAT ON")));
  const auto snapshot = rig.rig.amp->Snapshot();
  EXPECT_FALSE(snapshot.rfOn);
  EXPECT_THAT(snapshot.errors, IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Routes, BandErrorQueue,
    ::testing::Combine(
        ::testing::Values(QueueCase{"after the switch, device-specific", 1, {201, "Relay fault"}},
                          QueueCase{"final check, device-specific", 2, {201, "Relay fault"}},
                          QueueCase{"after the switch, standard", 1, {-221, "Settings conflict"}},
                          QueueCase{"final check, standard", 2, {-221, "Settings conflict"}}),
        ::testing::ValuesIn(kAllRoutes)),
    CaseOnRouteName());

}  // namespace
}  // namespace marlin::testing

// One entry of the instrument's error queue, on each route, in each route's answer form.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/connected_rig.h"
#include "tests/support/error_of.h"

namespace marlin::testing {
namespace {

std::string AsRouteAnswers(const std::string& device, const std::string& entry) {
  if (device == kLanDevice) return entry;
  std::string answer = entry + "\n";
  answer.resize(device == kVisaDevice ? 256 : 100, device == kVisaDevice ? '\0' : ' ');
  return answer;
}

class CheckForErrorSim : public ::testing::TestWithParam<const char*> {};

TEST_P(CheckForErrorSim, OnlyNegativeCodesAreReportedOneEntryPerCall) {
  ConnectedRig c(Amplifier("PA4415"), GetParam());
  c.rig.amp->PushError({-113, "Undefined header"});
  c.rig.amp->PushError({100, "Device specific"});
  EXPECT_EQ(c.amp.clsIAmpRemoteExt_CheckForError(),
            AsRouteAnswers(GetParam(), "-113,\"Undefined header\""));
  EXPECT_EQ(c.amp.clsIAmpRemoteExt_CheckForError(), "") << "a positive code is consumed quietly";
  EXPECT_EQ(c.amp.clsIAmpRemoteExt_CheckForError(), "") << "0: the queue is empty";
  EXPECT_TRUE(c.rig.amp->Snapshot().errors.empty());
  EXPECT_EQ(c.rig.ReceivedLines().size(), 3u);
}

TEST_P(CheckForErrorSim, NotConnectedAsksNothing) {
  ConnectedRig c(Amplifier("PA4415"), GetParam());
  c.amp.clsDevice_Status_Let(2);
  c.rig.amp->PushError({-113, "Undefined header"});
  EXPECT_EQ(c.amp.clsIAmpRemoteExt_CheckForError(), "");
  EXPECT_TRUE(c.rig.ReceivedLines().empty());
}

INSTANTIATE_TEST_SUITE_P(Routes, CheckForErrorSim, ::testing::ValuesIn(kAllRoutes));

TEST(CheckForErrorLan, LostConnectionReachesTheHostUnchanged) {
  ConnectedRig c(Amplifier("PA4415"), kLanDevice);
  bool closed = false;
  c.rig.lan->Close(c.amp.Fields().LanSocket, closed);
  const MarlinError e = ErrorOf([&] { c.amp.clsIAmpRemoteExt_CheckForError(); });
  EXPECT_EQ(e.Number(), 4040);
  EXPECT_EQ(e.Description(),
            "Marlin Amplifier-AMP_LAN: Marlin Amplifier-AMP_LAN: No LAN connection available!");
  EXPECT_EQ(c.rig.trace->reports.size(), 2u);
}

}  // namespace
}  // namespace marlin::testing

// Initialisation and fault reset against the simulator on each route.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/thread_host.h"
#include "tests/support/connected_rig.h"
#include "tests/support/fake_windows.h"

namespace marlin::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

struct InitRoute {
  const char* device;
  const char* model;
  const char* activeTimeout;
  std::vector<std::string> lines;
  bool message;
  std::int32_t status = 1;  // 2: commands go out, queries come back empty
};

class InitialisationSim : public ::testing::TestWithParam<InitRoute> {};

TEST_P(InitialisationSim, SetsTheLanTimeoutOnlyOnTheLanRouteOfARecognisedModel) {
  const InitRoute& r = GetParam();
  auto config = Amplifier(r.model);
  config.initial.lanTimeout = r.activeTimeout;
  ConnectedRig c(config, r.device);
  auto message = std::make_unique<ContextMessage>();
  ContextMessage* messages = message.get();
  host::Replace(std::move(message));
  c.amp.clsDevice_Status_Let(r.status);
  c.amp.clsDevice_Initialize();
  EXPECT_EQ(c.rig.ReceivedLines(r.lines.size()), r.lines);
  if (r.message) {
    EXPECT_THAT(messages->messages, ElementsAre("Restart " + std::string(r.device) +
                                                " to activate new LAN timeout value!"));
    EXPECT_EQ(c.rig.amp->Snapshot().lanTimeoutPending, "1D");
  } else {
    EXPECT_THAT(messages->messages, IsEmpty());
  }
}

const std::vector<std::string> kTimeoutExchange = {"SYST:SCPI:TIME?", "SYST:SCPI:TIME 1D",
                                                   "SYST:SCPI:TIME?"};

INSTANTIATE_TEST_SUITE_P(
    Routes, InitialisationSim,
    ::testing::Values(InitRoute{kLanDevice, "PA4520", "24H", kTimeoutExchange, true},
                      InitRoute{kLanDevice, "PA4415", "1D", kTimeoutExchange, false},
                      InitRoute{kLanDevice, "PA4400", "24H", {}, false},
                      InitRoute{kVisaDevice, "PA4520", "24H", {}, false},
                      InitRoute{kGpibDevice, "PA4520", "24H", {}, false},
                      InitRoute{kSimBoardDevice, "PA4520", "24H", {}, false},
                      InitRoute{kLanDevice, "PA4520", "24H", {"SYST:SCPI:TIME 1D"}, true, 2},
                      InitRoute{kVisaDevice, "PA4520", "24H", {}, false, 2},
                      InitRoute{kGpibDevice, "PA4520", "24H", {}, false, 2}));

class ResetFaultSim : public ::testing::TestWithParam<const char*> {};

TEST_P(ResetFaultSim, ClearsTheQueueThenPauses) {
  ConnectedRig c(Amplifier("PA4415"), GetParam());
  c.rig.amp->PushError({-113, "Undefined header"});
  c.amp.clsIAmpRemote_ResetFault();
  EXPECT_THAT(c.rig.ReceivedLines(), ElementsAre("*CLS"));
  EXPECT_TRUE(c.rig.amp->Snapshot().errors.empty());
  EXPECT_EQ(c.Elapsed(), 500);
}

INSTANTIATE_TEST_SUITE_P(Routes, ResetFaultSim, ::testing::ValuesIn(kAllRoutes), RouteTestName);

}  // namespace
}  // namespace marlin::testing

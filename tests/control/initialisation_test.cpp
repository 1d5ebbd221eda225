// The LAN timeout preparation and the fault reset, with answers only a script can give.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/error_of.h"
#include "tests/support/mock_host.h"
#include "tests/support/scripted_fixture.h"

namespace marlin::testing {
namespace {

using ::testing::_;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StrictMock;

struct InitCase {
  const char* what;
  std::int32_t status;
  std::int32_t route;
  double firmware;
  bool identified;
  std::string secondAnswer;
  bool exchanges;
  bool message;
};

class InitDeviceCases : public ScriptedFixture, public ::testing::WithParamInterface<InitCase> {
 protected:
  MockMessage* message = Install(std::make_unique<StrictMock<MockMessage>>());
};

TEST_P(InitDeviceCases, SetsTheLanTimeoutOnlyWhereItApplies) {
  const InitCase& c = GetParam();
  access.Status() = c.status;
  access.Interface() = c.route;
  access.FirmwareVersion() = c.firmware;
  if (c.identified) access.IsPA4520() = kTrue, access.NotPA4413() = kTrue;
  instrument->Answer("SYST:SCPI:TIME?", {"24H", c.secondAnswer});
  if (c.message) {
    EXPECT_CALL(*message, ShowMessage("Restart AMP1 to activate new LAN timeout value!",
                                      ::testing::Eq(64), "AMP1", 10000));
  }
  access.InitDevice();
  if (c.exchanges) {
    EXPECT_THAT(instrument->Lines(),
                ElementsAre("SYST:SCPI:TIME?", "SYST:SCPI:TIME 1D", "SYST:SCPI:TIME?"))
        << c.what;
  } else {
    EXPECT_THAT(instrument->Lines(), IsEmpty()) << c.what;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Init, InitDeviceCases,
    ::testing::Values(InitCase{"active at once", 1, 50, 2.2, true, "1D", true, false},
                      InitCase{"restart needed", 1, 50, 3.0, true, "24H", true, true},
                      InitCase{"letter case matters", 1, 50, 2.2, true, "1d", true, true},
                      InitCase{"firmware too old", 1, 50, 2.19, true, "1D", false, false},
                      InitCase{"no recognised model", 1, 50, 3.0, false, "1D", false, false},
                      InitCase{"VISA route", 1, 60, 3.0, true, "1D", false, false},
                      InitCase{"GPIB route", 1, 10, 3.0, true, "1D", false, false},
                      InitCase{"not connected: nothing sent, nothing shown", 0, 50, 3.0, true, "",
                               false, false}));

class ResetFaultTest : public ScriptedFixture {};

TEST_F(ResetFaultTest, ClearsThenPausesHalfASecond) {
  access.ResetFault();
  EXPECT_THAT(instrument->Lines(), ElementsAre("*CLS"));
  EXPECT_THAT(tools->waits, ElementsAre(500.0f));
}

TEST_F(ResetFaultTest, DisconnectedStillPauses) {
  access.Status() = 0;
  access.ResetFault();
  EXPECT_THAT(instrument->Lines(), IsEmpty());
  EXPECT_THAT(tools->waits, ElementsAre(500.0f));
}

TEST_F(ResetFaultTest, LanFailureCarriesTheSeparatorPrefix) {
  instrument->connected = false;
  const MarlinError e = ErrorOf([&] { access.ResetFault(); });
  EXPECT_EQ(e.Number(), 4040);
  EXPECT_EQ(e.Description(),
            "Marlin Amplifier-AMP1: Marlin Amplifier-AMP1: Marlin Amplifier-AMP1: No LAN "
            "connection available!");
  EXPECT_THAT(tools->waits, IsEmpty()) << "the pause is not reached";
}

}  // namespace
}  // namespace marlin::testing

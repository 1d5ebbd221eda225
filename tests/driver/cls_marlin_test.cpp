#include "driver/cls_marlin.h"

#include <gtest/gtest.h>

#include "host/thread_host.h"
#include "tests/support/host_fixture.h"
#include "tests/support/marlin_access.h"
#include "tests/support/mock_host.h"

namespace marlin::testing {
namespace {

using ::testing::_;
using ::testing::ElementsAre;
using ::testing::Return;

class ClsMarlinTest : public HostFixture {
 protected:
  MockGpib* gpib = Install(std::make_unique<::testing::StrictMock<MockGpib>>());
};

TEST_F(ClsMarlinTest, NewObjectReportsItsDefaults) {
  clsMarlin m{host::ThreadContext()};
  EXPECT_EQ(m.clsDevice_Name(), "");
  EXPECT_EQ(m.clsDevice_DeviceType(), "PA4400 Amplifier");
  EXPECT_EQ(m.clsDevice_Address(), 7);
  EXPECT_EQ(m.clsDevice_Interface(), 0);
  EXPECT_EQ(m.clsDevice_Status(), 0);
  EXPECT_EQ(m.clsDevice_Description(), "");
  EXPECT_EQ(m.clsDevice_Info(), (InfoRecord{"", "", "", "---.---.---.---:5025"}));
  auto f = m.Fields();
  EXPECT_EQ(f.GpibHandle, -1);
  EXPECT_EQ(f.LanSocket, -1);
  EXPECT_EQ(f.VisaSession, 0);
  EXPECT_EQ(f.LanPars.RemoteHost, "");
  EXPECT_EQ(f.LanPars.RemotePort, 0);
  EXPECT_EQ(f.IsPA4413, kFalse);
  EXPECT_EQ(f.NotPA4413, kFalse);
  EXPECT_EQ(f.IsPA4520, kFalse);
  EXPECT_EQ(f.FirmwareVersion, 0.0);
  EXPECT_FALSE(f.HasKeepAlive);
  EXPECT_EQ(f.VisaResource.rfind("TCPIP0::", 0), 0u);
  EXPECT_NE(f.VisaResource.find("::5025::SOCKET"), std::string::npos);
  EXPECT_TRUE(trace->lines.empty()) << "creation traces nothing";
}

TEST_F(ClsMarlinTest, StatusLetStoresAnyValueAndTraces) {
  clsMarlin m{host::ThreadContext()};
  m.clsDevice_Status_Let(2);
  EXPECT_EQ(m.clsDevice_Status(), 2);
  EXPECT_THAT(trace->Events(),
              ElementsAre("start:Let clsDevice_Status", "end:Let clsDevice_Status"));
}

TEST_F(ClsMarlinTest, TeardownWithStatusOtherThanOneLeavesGpibAlone) {
  for (int status : {0, 2}) {
    clsMarlin m{host::ThreadContext()};
    m.clsDevice_Status_Let(status);
  }  // the StrictMock fails on any call
}

TEST_F(ClsMarlinTest, TeardownOfALanConnectionCallsNothingWithMinusOne) {
  // Status 1 over LAN with no socket of its own left: GPIB is never asked to close handle -1.
  clsMarlin m{host::ThreadContext()};
  MarlinTestAccess{m}.Interface() = 50;
  m.clsDevice_Status_Let(1);
}

TEST_F(ClsMarlinTest, TeardownIgnoresAFailingGpibService) {
  EXPECT_CALL(*gpib, GpibPrepareClose(4));
  EXPECT_CALL(*gpib, GpibClose(4, 0)).WillOnce([](std::int16_t, std::int32_t) {
    throw MarlinError(57, "bus error");
  });
  auto m = std::make_unique<clsMarlin>(host::ThreadContext());
  MarlinTestAccess{*m}.GpibHandle() = 4;
  m->clsDevice_Status_Let(1);
  EXPECT_NO_THROW(m.reset());
}

TEST_F(ClsMarlinTest, GetInterfacesAlwaysAnswersTheThreeRoutes) {
  clsMarlin m{host::ThreadContext()};
  for (const char* type : {"", "PA4400 Amplifier", "anything"}) {
    EXPECT_THAT(m.clsDevice_GetInterfaces(type), ElementsAre(10, 50, 60));
  }
}

TEST_F(ClsMarlinTest, MembersThatDoNothingChangeNothingAndTraceNothing) {
  clsMarlin m{host::ThreadContext()};
  MarlinTestAccess{m}.Status() = 2;
  auto before = m.Fields();
  m.clsDevice_ShowDeviceDialog(1, "data", "section");
  m.clsDevice_WriteSettingsFile("f", "s");
  m.clsDevice_ReadSettingsFile("f", "s");
  m.clsDevice_StartTest();
  m.clsDevice_StopTest();
  EXPECT_EQ(m.clsDevice_GetSettingsString("f", "s"), "");
  m.clsIAmpRemote_RemoteInterface_Let(3);
  m.clsIAmpRemote_SciuBoard_Let(1);
  m.clsIAmpRemote_NotifyUser_Let(true);
  m.clsIAmpRemote_GpibFile_Let("x.gpib");
  m.clsIAmpRemote_SetSWUParams("SWU", 1, 2);
  m.clsIAmpRemote_SetFrequency(1e9);
  auto after = m.Fields();
  EXPECT_EQ(after.Status, before.Status);
  EXPECT_EQ(after.Name, before.Name);
  EXPECT_EQ(after.Info, before.Info);
  EXPECT_EQ(after.AmplParams, before.AmplParams);
  EXPECT_TRUE(trace->lines.empty());
}

TEST_F(ClsMarlinTest, AmplParamsLetReplacesTheWholeRecord) {
  clsMarlin m{host::ThreadContext()};
  AmplParamsRecord first;
  first.Head[0] = 0xAA;
  first.BandPath = 2;
  AmplParamsRecord second;
  second.Tail[7] = 0x55;
  second.BandPath = 5;
  second.OutputMode = 1;
  second.OperatingClass = 3;
  m.clsIAmpRemote_AmplParams_Let(first);
  m.clsIAmpRemote_AmplParams_Let(second);
  EXPECT_EQ(m.Fields().AmplParams, second);
  EXPECT_TRUE(trace->lines.empty());
}

TEST_F(ClsMarlinTest, FrequenciesComeFromTheHostAtEachCall) {
  auto* tools = Install(std::make_unique<MockTools>());
  EXPECT_CALL(*tools, HighestFrequency()).WillOnce(Return(6e9)).WillOnce(Return(7e9));
  EXPECT_CALL(*tools, LowestFrequency()).WillOnce(Return(8e7));
  clsMarlin m{host::ThreadContext()};
  EXPECT_EQ(m.clsDevice_MaxFrequency(), 6e9);
  EXPECT_EQ(m.clsDevice_MaxFrequency(), 7e9);
  EXPECT_EQ(m.clsDevice_MinFrequency(), 8e7);
}

}  // namespace
}  // namespace marlin::testing

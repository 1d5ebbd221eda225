// What a connection leaves behind: disconnecting, naming again, naming another device, and
// the members a host may call in between, on every route.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "driver/cls_marlin.h"
#include "host/thread_host.h"
#include "tests/support/case_names.h"
#include "tests/support/connected_rig.h"
#include "tests/support/fake_windows.h"
#include "tests/support/fd_count.h"
#include "tests/support/marlin_access.h"

namespace marlin::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Not;

void Connect(clsMarlin& amp, const std::string& device) {
  amp.clsDevice_Name_Let(device);
  amp.clsDevice_Status_Let(1);
  amp.clsDevice_Check();
}

void Disconnect(clsMarlin& amp) {
  amp.clsDevice_Status_Let(0);
  amp.clsDevice_Check();
}

// The simulator closes its side of a connection on its own thread; give it a moment.
void WaitForClients(const SimRig& rig, std::size_t clients) {
  for (int i = 0; i < 500 && rig.Clients() != clients; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

// Nothing of any route is held by the object.
void ExpectNothingHeld(const clsMarlin& amp) {
  const auto f = amp.Fields();
  EXPECT_EQ(f.GpibHandle, -1);
  EXPECT_EQ(f.LanSocket, -1);
  EXPECT_LE(f.VisaSession, 0);
  EXPECT_EQ(f.VisaDefaultRM, 0);
}

bool UsesTheTcpFront(const std::string& device) { return !IsGpib(device); }

class ConnectionLifecycle : public ::testing::TestWithParam<const char*> {};

TEST_P(ConnectionLifecycle, DisconnectingLeavesNoConnectionOfTheObjectOpen) {
  const std::string device = GetParam();
  SimRig rig(Amplifier("PA4415"));
  {
    clsMarlin warmUp{host::ThreadContext()};  // the GPIB service keeps its gateway connection once
                                              // it has made it
    Connect(warmUp, device);
  }
  WaitForClients(rig, 0);
  const std::size_t before = OpenDescriptors();

  clsMarlin amp{host::ThreadContext()};  // alive throughout: its teardown must not be what closes
                                         // the connection
  Connect(amp, device);
  ASSERT_EQ(amp.clsDevice_Status(), 1);
  if (UsesTheTcpFront(device)) EXPECT_EQ(rig.Clients(), 1u);
  Disconnect(amp);
  EXPECT_EQ(amp.clsDevice_Status(), 0);
  ExpectNothingHeld(amp);
  EXPECT_EQ(rig.lan->OpenSockets(), 0u);
  WaitForClients(rig, 0);
  EXPECT_EQ(rig.Clients(), 0u) << "the instrument is free for the next client";
  EXPECT_EQ(OpenDescriptors(), before);
}

TEST_P(ConnectionLifecycle, CheckWithStatusTwoConnects) {
  SimRig rig(Amplifier("PA4415"));
  clsMarlin amp{host::ThreadContext()};
  amp.clsDevice_Name_Let(GetParam());
  amp.clsDevice_Status_Let(2);
  amp.clsDevice_Check();
  EXPECT_EQ(amp.clsDevice_Status(), 1);
  EXPECT_EQ(amp.Fields().NotPA4413, kTrue);
  EXPECT_THAT(rig.ReceivedLines(1), Contains("*IDN?"));
}

TEST_P(ConnectionLifecycle, NamingAConnectedObjectAgainKeepsItsConnectionUntilCheck) {
  const std::string device = GetParam();
  SimRig rig(Amplifier("PA4415"));
  clsMarlin amp{host::ThreadContext()};
  Connect(amp, device);
  ASSERT_EQ(amp.clsDevice_Status(), 1);
  amp.clsDevice_Name_Let(device);
  EXPECT_EQ(amp.clsDevice_Status(), 0);
  EXPECT_EQ(amp.Fields().NotPA4413, kTrue) << "the same device keeps what was learnt of it";
  if (UsesTheTcpFront(device)) EXPECT_EQ(rig.Clients(), 1u) << "still open";
  Disconnect(amp);
  ExpectNothingHeld(amp);
  WaitForClients(rig, 0);
  EXPECT_EQ(rig.Clients(), 0u);
}

// Another device of the same rig, reached by another route.
std::string OtherDevice(const std::string& device) {
  if (device == kLanDevice) return kGpibDevice;
  if (device == kGpibDevice) return kVisaDevice;
  return kLanDevice;
}

TEST_P(ConnectionLifecycle, NamingAConnectedObjectToAnotherDeviceLeavesNothingOfTheFirst) {
  const std::string device = GetParam();
  const std::string other = OtherDevice(device);
  SimRig rig(Amplifier("PA4415"));
  clsMarlin amp{host::ThreadContext()};
  Connect(amp, device);
  ASSERT_EQ(amp.clsDevice_Status(), 1);
  Connect(amp, other);
  ASSERT_EQ(amp.clsDevice_Status(), 1);
  const auto f = amp.Fields();
  if (device == kLanDevice) EXPECT_EQ(f.LanSocket, -1);
  if (device == kVisaDevice) EXPECT_LE(f.VisaSession, 0);
  if (IsGpib(device)) EXPECT_EQ(f.GpibHandle, -1);
  const std::size_t expected = UsesTheTcpFront(other) ? 1 : 0;
  WaitForClients(rig, expected);
  EXPECT_EQ(rig.Clients(), expected) << "only the connection to " << other;
  Disconnect(amp);
  ExpectNothingHeld(amp);
  WaitForClients(rig, 0);
  EXPECT_EQ(rig.Clients(), 0u);
}

TEST_P(ConnectionLifecycle, NamedToAnotherDeviceForgetsTheModelOfTheFirst) {
  const std::string device = GetParam();
  clsMarlin amp{host::ThreadContext()};
  {
    sim::AmplifierConfig first = Amplifier("PA4413");
    first.firmware = "3.30";
    SimRig rig(first);
    Connect(amp, OtherDevice(device));
    ASSERT_EQ(amp.Fields().IsPA4413, kTrue);
    ASSERT_EQ(amp.Fields().FirmwareVersion, 3.3);
    Disconnect(amp);
  }
  SimRig rig(Amplifier("PA4400", true, 0));
  amp.clsDevice_Name_Let(device);
  const auto named = amp.Fields();
  EXPECT_EQ(named.IsPA4413, kFalse) << "forgotten when named, before any identification";
  EXPECT_EQ(named.FirmwareVersion, 0.0);
  amp.clsDevice_Status_Let(1);
  amp.clsDevice_Check();
  ASSERT_EQ(amp.clsDevice_Status(), 1);
  const auto f = amp.Fields();
  EXPECT_EQ(f.IsPA4413, kFalse);
  EXPECT_EQ(f.NotPA4413, kFalse);
  EXPECT_EQ(f.IsPA4520, kFalse);
  EXPECT_EQ(f.FirmwareVersion, 2.2);

  AmplParamsRecord params;
  params.BandPath = 2;
  params.OperatingClass = 1;
  params.OutputMode = 0;
  amp.clsIAmpRemote_AmplParams_Let(params);
  rig.Settle();
  rig.ClearTranscript();
  amp.clsIAmpRemote_SetState(state::kOperate);
  EXPECT_THAT(rig.ReceivedLines(), Not(Contains("RF2:OPER:CLA 1")));
  EXPECT_THAT(rig.ReceivedLines(), Not(Contains("RF2:OUTP:MOD 0")));
  amp.clsIAmpRemote_SetState(state::kOff);
  EXPECT_THAT(rig.ReceivedLines(), Contains("SYST:POW:STAT OFF")) << "mains off, not Standby";
  EXPECT_FALSE(rig.amp->Snapshot().powerOn);
}

INSTANTIATE_TEST_SUITE_P(Routes, ConnectionLifecycle, ::testing::ValuesIn(kAllRoutes),
                         RouteTestName);

// Initialize runs InitDevice whatever the connection; with none it sends and shows nothing.
enum class Before { NeverChecked, NamedAgain, StatusZeroWithoutCheck };

struct InitCase {
  const char* title;
  Before before;
};

void PrintTo(const InitCase& c, std::ostream* os) { *os << c.title; }

class InitializeUnconnected : public ::testing::TestWithParam<std::tuple<InitCase, const char*>> {};

TEST_P(InitializeUnconnected, RunsInitDeviceButSendsAndShowsNothing) {
  const auto& [c, device] = GetParam();
  const Before before = c.before;
  auto config = Amplifier("PA4520");
  config.initial.lanTimeout = "24H";
  SimRig rig(config);
  auto message = std::make_unique<ContextMessage>();
  ContextMessage* messages = message.get();
  host::Replace(std::move(message));
  clsMarlin amp{host::ThreadContext()};
  amp.clsDevice_Name_Let(device);
  if (before != Before::NeverChecked) {
    amp.clsDevice_Status_Let(1);
    amp.clsDevice_Check();
    ASSERT_EQ(amp.clsDevice_Status(), 1);
    if (before == Before::NamedAgain) amp.clsDevice_Name_Let(device);
    if (before == Before::StatusZeroWithoutCheck) amp.clsDevice_Status_Let(0);
  }
  rig.Settle();
  rig.ClearTranscript();
  rig.trace->lines.clear();

  EXPECT_NO_THROW(amp.clsDevice_Initialize());
  EXPECT_THAT(rig.trace->Events(), ElementsAre("start:clsDevice_Initialize", "start:InitDevice",
                                               "end:InitDevice", "end:clsDevice_Initialize"));
  EXPECT_THAT(rig.ReceivedLines(), IsEmpty());
  EXPECT_THAT(messages->messages, IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Routes, InitializeUnconnected,
    ::testing::Combine(
        ::testing::Values(InitCase{"never checked", Before::NeverChecked},
                          InitCase{"named again while connected", Before::NamedAgain},
                          InitCase{"Status 0 without Check", Before::StatusZeroWithoutCheck}),
        ::testing::ValuesIn(kAllRoutes)),
    CaseOnRouteName());

}  // namespace
}  // namespace marlin::testing

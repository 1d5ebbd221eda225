// Connecting, identifying and disconnecting a simulated amplifier on each route.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "driver/cls_marlin.h"
#include "host/thread_host.h"
#include "tests/support/sim_rig.h"
#include "ui/frm_keep_alive.h"

namespace marlin::testing {
namespace {

using ::testing::ElementsAre;

sim::AmplifierConfig Model(const std::string& model, const std::string& firmware = "2.20") {
  sim::AmplifierConfig config;
  config.model = model;
  config.serial = "SN" + model;
  config.firmware = firmware;
  return config;
}

void Connect(clsMarlin& amp, const std::string& device) {
  amp.clsDevice_Name_Let(device);
  amp.clsDevice_Status_Let(1);
  amp.clsDevice_Check();
}

void Disconnect(clsMarlin& amp) {
  amp.clsDevice_Status_Let(0);
  amp.clsDevice_Check();
}

struct ModelCase {
  std::string model;
  VbBool isPA4413, notPA4413, isPA4520;
};

class Identification : public ::testing::TestWithParam<std::tuple<ModelCase, const char*>> {};

TEST_P(Identification, RecognisesEachModelOnEachRoute) {
  const auto& [model, device] = GetParam();
  SimRig rig(Model(model.model));
  clsMarlin amp{host::ThreadContext()};
  Connect(amp, device);
  auto f = amp.Fields();
  ASSERT_EQ(f.Status, 1) << device;
  EXPECT_EQ(f.IsPA4413, model.isPA4413);
  EXPECT_EQ(f.NotPA4413, model.notPA4413);
  EXPECT_EQ(f.IsPA4520, model.isPA4520);
  EXPECT_EQ(f.FirmwareVersion, 2.2);
  // Only a LAN connection to a recognised model other than the PA4413 hands its socket over.
  const bool handed = std::string(device) == kLanDevice && model.notPA4413 == kTrue;
  EXPECT_EQ(f.KeepAliveDevice, handed ? f.LanSocket : 0);
  const std::string idn = "Quellmarkfabrik," + model.model + ",SN" + model.model + ",SW:2.20";
  if (IsGpib(device)) {
    std::string padded = idn + "\n";
    padded.resize(100, ' ');
    EXPECT_EQ(f.Info.Member2, padded) << "the whole 100-character GPIB buffer";
    EXPECT_EQ(f.Info.Member3, "");
  } else if (std::string(device) == kLanDevice) {
    EXPECT_EQ(f.Info.Member2, model.model + ",SW:2.20");
    EXPECT_EQ(f.Info.Member3, "SN" + model.model);
  } else {
    std::string rest = "SW:2.20\n";
    rest.resize(256 - (idn.size() - 7), '\0');
    EXPECT_EQ(f.Info.Member2, model.model + "," + rest) << "the VISA buffer's fill comes along";
    EXPECT_EQ(f.Info.Member3, "SN" + model.model);
  }
  Disconnect(amp);
  EXPECT_EQ(amp.clsDevice_Status(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Models, Identification,
    ::testing::Combine(::testing::Values(ModelCase{"PA4400", kFalse, kFalse, kFalse},
                                         ModelCase{"PA4413", kTrue, kFalse, kFalse},
                                         ModelCase{"PA4415", kFalse, kTrue, kFalse},
                                         ModelCase{"PA4520", kFalse, kTrue, kTrue}),
                       ::testing::ValuesIn(kAllRoutes)));

class ConnectionSim : public ::testing::TestWithParam<const char*> {};

TEST_P(ConnectionSim, SendsTheRouteSequence) {
  const std::string device = GetParam();
  for (const char* model : {"PA4400", "PA4415"}) {
    SimRig rig(Model(model));
    clsMarlin amp{host::ThreadContext()};
    Connect(amp, GetParam());
    ASSERT_EQ(amp.clsDevice_Status(), 1);
    rig.Settle();
    if (IsGpib(device) && amp.Fields().NotPA4413 == kTrue) {
      EXPECT_THAT(rig.ReceivedLines(), ElementsAre("*CLS", "*IDN?", "*CLS"));
    } else if (IsGpib(device)) {
      // Not a recognised model: the error queue is read after the identification.
      EXPECT_THAT(rig.ReceivedLines(), ElementsAre("*CLS", "*IDN?", "*CLS", "SYST:ERR?"));
    } else if (device == kLanDevice) {
      EXPECT_THAT(rig.ReceivedLines(), ElementsAre("*IDN?", "*CLS")) << model;
    } else {
      EXPECT_THAT(rig.ReceivedLines(), ElementsAre("*IDN?")) << model;
    }
  }
}

TEST_P(ConnectionSim, FirmwareFieldTakesItsLeadingNumber) {
  for (const auto& [firmware, expected] :
       std::vector<std::pair<std::string, double>>{{"2.20.05", 2.2}, {"3.3", 3.3}}) {
    SimRig rig(Model("PA4413", firmware));
    clsMarlin amp{host::ThreadContext()};
    Connect(amp, GetParam());
    EXPECT_EQ(amp.clsDevice_Status(), 1);
    EXPECT_EQ(amp.Fields().FirmwareVersion, expected) << firmware;
  }
}

TEST_P(ConnectionSim, ModelFlagsAccumulateOverReconnections) {
  clsMarlin amp{host::ThreadContext()};
  {
    SimRig rig(Model("PA4413"));
    Connect(amp, GetParam());
    Disconnect(amp);
  }
  SimRig rig(Model("PA4415"));
  Connect(amp, GetParam());
  EXPECT_EQ(amp.clsDevice_Status(), 1);
  EXPECT_EQ(amp.Fields().IsPA4413, kTrue);
  EXPECT_EQ(amp.Fields().NotPA4413, kTrue);
}

INSTANTIATE_TEST_SUITE_P(Routes, ConnectionSim, ::testing::ValuesIn(kAllRoutes), RouteTestName);

// The LAN and VISA entries name a port; once the simulator is gone nobody listens there.
class UnreachableInstrument : public ::testing::TestWithParam<const char*> {};

TEST_P(UnreachableInstrument, EndsNotConnectedWithNothingLeftOpen) {
  clsMarlin amp{host::ThreadContext()};
  {
    SimRig rig(Model("PA4415"));
    amp.clsDevice_Name_Let(GetParam());
  }
  SimRig other(Model("PA4415"));
  amp.clsDevice_Status_Let(1);
  amp.clsDevice_Check();
  EXPECT_EQ(amp.clsDevice_Status(), 0);
  EXPECT_EQ(amp.Fields().LanSocket, -1);
  EXPECT_LE(amp.Fields().VisaSession, 0);
  EXPECT_EQ(amp.Fields().IsPA4413 | amp.Fields().NotPA4413, kFalse);
}

INSTANTIATE_TEST_SUITE_P(Routes, UnreachableInstrument, ::testing::Values(kLanDevice, kVisaDevice));

// The simulator closes its side of a connection on its own thread; give it a moment.
void WaitForSimulatorToLetGo(const SimRig& rig) {
  for (int i = 0; i < 500 && rig.Clients() > 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

std::size_t OpenDescriptors() {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++n;
  }
  return n;
}

TEST(ConnectionCycles, AThousandConnectionsLeaveNoDescriptorBehind) {
  SimRig rig(Model("PA4415"));
  for (const char* device : kAllRoutes) {
    clsMarlin amp{host::ThreadContext()};
    amp.clsDevice_Name_Let(device);
    // One cycle first: libraries and the gateway connection settle their own descriptors.
    amp.clsDevice_Status_Let(1);
    amp.clsDevice_Check();
    Disconnect(amp);
    const std::size_t before = OpenDescriptors();
    for (int i = 0; i < 1000; ++i) {
      amp.clsDevice_Status_Let(1);
      amp.clsDevice_Check();
      ASSERT_EQ(amp.clsDevice_Status(), 1) << device << " cycle " << i;
      Disconnect(amp);
    }
    WaitForSimulatorToLetGo(rig);
    EXPECT_LE(OpenDescriptors(), before) << device;
  }
}

TEST(ConnectionCycles, ReleasingAConnectedObjectClosesItsConnection) {
  SimRig rig(Model("PA4415"));
  auto connectAndRelease = [] {
    for (const char* device : kAllRoutes) {
      clsMarlin amp{host::ThreadContext()};
      Connect(amp, device);
      ASSERT_EQ(amp.clsDevice_Status(), 1) << device;
    }
  };
  connectAndRelease();  // the GPIB service keeps its gateway connection from here on
  WaitForSimulatorToLetGo(rig);
  const std::size_t before = OpenDescriptors();
  connectAndRelease();
  EXPECT_EQ(rig.lan->OpenSockets(), 0u);
  WaitForSimulatorToLetGo(rig);
  EXPECT_EQ(OpenDescriptors(), before);
}

}  // namespace
}  // namespace marlin::testing

#include "ui/frm_keep_alive.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "driver/cls_marlin.h"
#include "host/lan_sockets_tcp.h"
#include "host/standalone_host.h"
#include "host/terminal_windows.h"
#include "host/thread_host.h"
#include "sim/amplifier.h"
#include "sim/tcp_front.h"
#include "tests/host/temp_folder.h"
#include "tests/support/host_fixture.h"
#include "tests/support/marlin_access.h"

namespace marlin::testing {
namespace {

using namespace std::chrono_literals;
using ::testing::InSequence;
using ::testing::Return;
using ::testing::StrictMock;

class KeepAliveForm : public HostFixture {
 protected:
  KeepAliveForm() {
    StandaloneHostConfig config;
    config.clock = clock;
    factory = std::make_unique<StandaloneHostFactory>(config);
    windows = Install(std::unique_ptr<TerminalWindows>(
        dynamic_cast<TerminalWindows*>(factory->MakeWindows(*host::ThreadContext()).release())));
  }

  std::shared_ptr<VirtualClock> clock = std::make_shared<VirtualClock>();
  std::unique_ptr<StandaloneHostFactory> factory;
  TerminalWindows* windows;
};

TEST_F(KeepAliveForm, ActivatingLoadsItAndRunsTheSixtySecondPeriod) {
  frmKeepAlive form(*host::ThreadContext());
  form.ActivateKeepAlive(true);
  ASSERT_TRUE(form.Loaded());
  EXPECT_TRUE(form.TimerEnabled());
  clock->Advance(59999ms);
  EXPECT_EQ(windows->PumpTimers(), 0u);
  clock->Advance(1ms);
  EXPECT_EQ(windows->PumpTimers(), 1u);
  clock->Advance(60s);
  EXPECT_EQ(windows->PumpTimers(), 1u);

  form.ActivateKeepAlive(false);
  clock->Advance(600s);
  EXPECT_EQ(windows->PumpTimers(), 0u);
  EXPECT_FALSE(form.TimerEnabled());
}

TEST_F(KeepAliveForm, DeactivatingAFormNotYetLoadedLoadsItWithTheTimerStopped) {
  frmKeepAlive form(*host::ThreadContext());
  form.ActivateKeepAlive(false);
  EXPECT_TRUE(form.Loaded());
  EXPECT_FALSE(form.TimerEnabled());
  clock->Advance(120s);
  EXPECT_EQ(windows->PumpTimers(), 0u);
}

class MockTimer : public HostTimer {
 public:
  MOCK_METHOD(void, SetInterval, (std::int32_t), (override));
  MOCK_METHOD(void, SetEnabled, (bool), (override));
  MOCK_METHOD(bool, Enabled, (), (const, override));
};

class OneTimerWindows : public HostWindows {
 public:
  explicit OneTimerWindows(std::unique_ptr<HostTimer> timer) : timer_(std::move(timer)) {}
  std::unique_ptr<WaitWindowView> CreateWaitWindow(const WaitWindowLayout&,
                                                   WaitWindowEvents&) override {
    return nullptr;
  }
  void ShowMessageBox(const std::string&, const std::string&, std::int32_t) override {}
  std::unique_ptr<HostTimer> CreateTimer(std::function<void()>) override {
    return std::move(timer_);
  }

 private:
  std::unique_ptr<HostTimer> timer_;
};

// A window timer may start enabled; the load event is what stops it, and a failure of the load
// event does not keep the caller from starting it.
TEST_F(KeepAliveForm, TheLoadEventDisablesTheTimerAndItsErrorsAreIgnored) {
  for (bool loadEventFails : {false, true}) {
    auto timer = std::make_unique<StrictMock<MockTimer>>();
    {
      InSequence order;
      EXPECT_CALL(*timer, SetInterval(60000));
      auto& disable = EXPECT_CALL(*timer, SetEnabled(false));
      if (loadEventFails) disable.WillOnce([](bool) { throw MarlinError(380, "refused"); });
      EXPECT_CALL(*timer, SetEnabled(true));
    }
    host::Replace(std::make_unique<OneTimerWindows>(std::move(timer)));
    frmKeepAlive form(*host::ThreadContext());
    EXPECT_NO_THROW(form.ActivateKeepAlive(true));
  }
}

bool SameFields(const clsMarlin::Snapshot& a, const clsMarlin::Snapshot& b) {
  return a.Name == b.Name && a.Address == b.Address && a.Interface == b.Interface &&
         a.Description == b.Description && a.DeviceType == b.DeviceType && a.Status == b.Status &&
         a.Info == b.Info && a.AmplParams == b.AmplParams && a.GpibHandle == b.GpibHandle &&
         a.GpibReadBuffer == b.GpibReadBuffer && a.LanPars.RemoteHost == b.LanPars.RemoteHost &&
         a.LanPars.RemotePort == b.LanPars.RemotePort && a.LanSocket == b.LanSocket &&
         a.VisaResource == b.VisaResource && a.VisaSession == b.VisaSession &&
         a.VisaStatus == b.VisaStatus && a.VisaDefaultRM == b.VisaDefaultRM &&
         a.IsPA4413 == b.IsPA4413 && a.NotPA4413 == b.NotPA4413 && a.IsPA4520 == b.IsPA4520 &&
         a.FirmwareVersion == b.FirmwareVersion && a.HasKeepAlive == b.HasKeepAlive &&
         a.KeepAliveDevice == b.KeepAliveDevice;
}

// End to end over loopback: the driver names a LAN device from a real device list, connects to
// the simulator, and its form's ticks then send nothing and change nothing.
TEST(KeepAliveOverLoopback, TicksOfAConnectedDriverSendNothingAndChangeNoField) {
  auto clock = std::make_shared<VirtualClock>();
  sim::AmplifierConfig model;
  model.model = "PA4415";
  auto amplifier = std::make_shared<sim::Amplifier>(model, clock);
  sim::TcpFront front(amplifier);
  TempFolder folder;
  StandaloneHostConfig config;
  config.clock = clock;
  config.lan = std::make_shared<TcpLanSockets>(clock);
  config.deviceList =
      folder.Write("devices.toml", "[devices.AMP]\ninterface = 50\nlan_address = \"127.0.0.1:" +
                                       std::to_string(front.Port()) + "\"\n");
  InstallHostServiceFactory(std::make_shared<StandaloneHostFactory>(config));
  {
    clsMarlin amp{host::ThreadContext()};
    MarlinTestAccess access{amp};
    amp.clsDevice_Name_Let("AMP");
    amp.clsDevice_Status_Let(1);
    amp.clsDevice_Check();
    ASSERT_EQ(amp.clsDevice_Status(), 1);
    const std::shared_ptr<frmKeepAlive> form = access.KeepAlive();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->AmplDeviceId(), amp.Fields().LanSocket);
    EXPECT_FALSE(form->Loaded()) << "the driver never starts the timer";

    // A query on the same connection returns only after the amplifier has read every earlier
    // line, so the count of lines it heard is settled before the ticks.
    const auto heard = [&] {
      std::size_t lines = 0;
      for (const auto& entry : amplifier->TranscriptEntries()) {
        lines += entry.direction == sim::Direction::Received ? 1 : 0;
      }
      return lines;
    };
    std::string identity;
    bool answered = false;
    host::ThreadContext()->DevList().LanQuery(amp.Fields().LanSocket, "*IDN?\r\n", identity,
                                              answered);
    ASSERT_TRUE(answered);

    form->ActivateKeepAlive(true);
    auto& timers = dynamic_cast<TerminalWindows&>(host::ThreadContext()->Windows()).Timers();
    const auto before = amp.Fields();
    const auto linesBefore = heard();
    const auto ticks = timers.Delivered();
    host::ThreadContext()->Tools().Wait(125000);
    EXPECT_EQ(timers.Delivered() - ticks, 2u);
    EXPECT_TRUE(SameFields(amp.Fields(), before));
    EXPECT_EQ(heard(), linesBefore);

    amp.clsDevice_Status_Let(0);
    amp.clsDevice_Check();
  }
  host::ResetThread();
  InstallHostServiceFactory(nullptr);
}

}  // namespace
}  // namespace marlin::testing

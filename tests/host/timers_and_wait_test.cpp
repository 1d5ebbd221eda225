#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <thread>

#include "driver/marlin_error.h"
#include "host/standalone_host.h"
#include "host/standalone_tools.h"
#include "host/terminal_windows.h"
#include "host/thread_host.h"
#include "tests/host/temp_folder.h"

namespace marlin::testing {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;

class TimersAndWait : public ::testing::Test {
 protected:
  std::shared_ptr<VirtualClock> clock = std::make_shared<VirtualClock>();
  StandaloneHostFactory factory{[this] {
    StandaloneHostConfig config;
    config.clock = clock;
    return config;
  }()};
  std::unique_ptr<HostTools> tools = factory.MakeTools();
  std::unique_ptr<HostWindows> windowsService = factory.MakeWindows(*host::ThreadContext());
  TerminalWindows& windows = dynamic_cast<TerminalWindows&>(*windowsService);

  double NowMs() const { return ToMilliseconds(clock->Now()); }
};

TEST_F(TimersAndWait, WaitAdvancesTheClockByExactlyTheTimeAsked) {
  tools->Wait(1500.5f);
  EXPECT_DOUBLE_EQ(NowMs(), 1500.5);
  tools->Wait(0);
  EXPECT_DOUBLE_EQ(NowMs(), 1500.5);
}

TEST_F(TimersAndWait, WaitRefusesWhatNoClockCanWait) {
  for (float ms : {-1.0f, std::numeric_limits<float>::quiet_NaN(),
                   std::numeric_limits<float>::infinity(), 1e12f}) {
    try {
      tools->Wait(ms);
      ADD_FAILURE() << ms;
    } catch (const MarlinError& e) {
      EXPECT_EQ(e.Number(), errors::kInvalidArgument);
      EXPECT_THAT(e.Description(), ::testing::HasSubstr("out of range"));
    }
  }
  EXPECT_EQ(clock->Now(), Clock::Duration::zero());
}

TEST_F(TimersAndWait, ATimerTicksOncePerPeriodFromTheMomentItIsEnabled) {
  int ticks = 0;
  auto timer = windows.CreateTimer([&] { ++ticks; });
  timer->SetInterval(60000);
  EXPECT_FALSE(timer->Enabled()) << "a new timer waits to be enabled";
  clock->Advance(10s);
  timer->SetEnabled(true);
  clock->Advance(59999ms);
  EXPECT_EQ(windows.PumpTimers(), 0u);
  clock->Advance(1ms);
  EXPECT_EQ(windows.PumpTimers(), 1u);
  clock->Advance(180s);
  EXPECT_EQ(windows.PumpTimers(), 1u) << "periods nobody pumped in give one tick";
  timer->SetEnabled(false);
  clock->Advance(600s);
  EXPECT_EQ(windows.PumpTimers(), 0u);
  EXPECT_EQ(ticks, 2);
}

TEST_F(TimersAndWait, WaitDeliversTicksAtTheirTimesOnThisThread) {
  std::vector<double> at;
  auto timer = windows.CreateTimer([&] { at.push_back(NowMs()); });
  timer->SetInterval(60000);
  timer->SetEnabled(true);
  tools->Wait(130000);
  EXPECT_THAT(at, ElementsAre(60000.0, 120000.0));
  EXPECT_DOUBLE_EQ(NowMs(), 130000.0);

  // Another thread's wait runs on the same clock but never delivers this thread's ticks.
  std::thread other([&] { factory.MakeTools()->Wait(60000); });
  other.join();
  EXPECT_EQ(at.size(), 2u);
  EXPECT_EQ(windows.PumpTimers(), 1u) << "the tick due meanwhile arrives here";
}

TEST_F(TimersAndWait, ATickMayStopOrDropItsTimerAndAWaitInsideATickDoesNotReenterIt) {
  int ticks = 0;
  std::unique_ptr<HostTimer> timer;
  timer = windows.CreateTimer([&] {
    ++ticks;
    tools->Wait(120000);  // would re-enter this tick twice if allowed
    timer.reset();
  });
  timer->SetInterval(50000);
  timer->SetEnabled(true);
  tools->Wait(500000);
  EXPECT_EQ(ticks, 1);
  EXPECT_EQ(timer, nullptr);
}

TEST_F(TimersAndWait, ATimerOutlivesTheServicesThatMadeIt) {
  auto timer = windows.CreateTimer([] {});
  windowsService.reset();
  tools.reset();
  timer->SetInterval(10);
  timer->SetEnabled(true);
  EXPECT_TRUE(timer->Enabled());
}

TEST(ScaledWait, AWaitOnAScaledRealClockPassesTheWholeTimeOnThatClock) {
  StandaloneHostConfig config;
  config.timeScale = 1000;
  StandaloneHostFactory factory(config);
  auto start = factory.SharedClock()->Now();
  factory.MakeTools()->Wait(2000);  // about 2 ms of real time
  EXPECT_GE(factory.SharedClock()->Now() - start, 2000ms);
}

TEST(HostToolsFrequencies, ComeFromTheHostTableOrTheDefaults) {
  TempFolder folder;
  StandaloneHostConfig config;
  StandaloneHostFactory withoutList(config);
  EXPECT_EQ(withoutList.MakeTools()->LowestFrequency(), 80e6);
  EXPECT_EQ(withoutList.MakeTools()->HighestFrequency(), 6e9);

  config.deviceList = folder.Write("devices.toml", "[host]\nhighest_frequency = 1e9\n");
  auto tools = StandaloneHostFactory(config).MakeTools();
  EXPECT_EQ(tools->LowestFrequency(), 80e6);
  EXPECT_EQ(tools->HighestFrequency(), 1e9);

  folder.Write("devices.toml", "[host]\nhighest_frequency = \"1 GHz\"\n");
  EXPECT_THROW(tools->HighestFrequency(), MarlinError) << "never a default for a wrong value";
}

}  // namespace
}  // namespace marlin::testing

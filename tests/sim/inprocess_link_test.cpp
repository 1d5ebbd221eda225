// The in-process link: bus semantics with every wait on the virtual clock.
#include <gtest/gtest.h>

#include "sim/inprocess_link.h"
#include "tests/sim/sim_fixture.h"

namespace marlin::sim::testing {
namespace {

TEST(InProcessLink, AQueryIsAnsweredAtOnceWithoutTouchingTheClock) {
  Bench bench(Powered("PA4415"));
  InProcessLink link(bench.amp);
  ASSERT_TRUE(link.Write("*IDN?\r\n"));
  EXPECT_EQ(link.Read(10s), "Quellmarkfabrik,PA4415,100001,SW:2.20\n");
  EXPECT_EQ(bench.clock->Now(), Clock::Duration::zero());
}

TEST(InProcessLink, ReadWaitsOnTheClockForASlowAnswerAndTimesOutOnALateOne) {
  Bench bench(Powered());
  InProcessLink link(bench.amp);
  Faults slow;
  slow.answerDelay = 300ms;
  bench.amp->SetFaults(slow);
  link.Write("SYST:POW:STAT?\r\n");
  EXPECT_EQ(link.Read(10s), "1\n");
  EXPECT_EQ(bench.clock->Now(), 300ms);

  slow.answerDelay = 12s;
  bench.amp->SetFaults(slow);
  link.Write("SYST:POW:STAT?\r\n");
  EXPECT_EQ(link.Read(10s), std::nullopt);
  EXPECT_EQ(bench.clock->Now(), 10300ms);
  EXPECT_EQ(link.Read(10s), "1\n");  // the late answer, when read again
}

TEST(InProcessLink, SilenceCostsTheWholeTimeout) {
  Bench bench(Powered());
  Faults silent;
  silent.silent = true;
  bench.amp->SetFaults(silent);
  InProcessLink link(bench.amp);
  link.Write("SYST:ERR?\r\n");
  EXPECT_EQ(link.Read(2s), std::nullopt);
  EXPECT_EQ(bench.clock->Now(), 2s);
}

TEST(InProcessLink, EndOfMessageWithoutLineFeedCompletesAMessage) {
  Bench bench(Powered());
  InProcessLink link(bench.amp);
  link.Write("SYST:POW:", false);
  EXPECT_EQ(link.Read(0ms), std::nullopt);
  link.Write("STAT?", true);
  EXPECT_EQ(link.Read(0ms), "1\n");
}

TEST(InProcessLink, ADroppedLinkRefusesWritesAndReads) {
  Bench bench(Powered());
  Faults drop;
  drop.dropConnection = true;
  bench.amp->SetFaults(drop);
  InProcessLink link(bench.amp);
  EXPECT_FALSE(link.Write("*IDN?\r\n"));
  EXPECT_FALSE(link.Connected());
  EXPECT_EQ(link.Read(1s), std::nullopt);
  bench.amp->SetFaults({});
  InProcessLink fresh(bench.amp);
  EXPECT_TRUE(fresh.Write("*IDN?\r\n"));
  EXPECT_TRUE(fresh.Read(1s).has_value());
}

}  // namespace
}  // namespace marlin::sim::testing

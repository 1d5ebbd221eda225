#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/error_of.h"
#include "tests/support/scripted_fixture.h"

namespace marlin::testing {
namespace {

using ::testing::Each;
using ::testing::Eq;

class CompletionWaitTest : public ScriptedFixture {
 protected:
  std::size_t Polls() const { return instrument->sent.size(); }
};

struct WaitCase {
  const char* what;
  std::deque<std::string> answers;
  std::string expected;
  std::int32_t timeout;
  std::size_t polls;
};

class CompletionWaitCases : public CompletionWaitTest,
                            public ::testing::WithParamInterface<WaitCase> {};

TEST_P(CompletionWaitCases, PollsTwiceASecondUntilMatchOrLimit) {
  const WaitCase& c = GetParam();
  instrument->Answer("RF:OUTP:STAT?", c.answers);
  access.WaitForComplete("RF:OUTP:STAT?", c.expected, c.timeout);
  EXPECT_EQ(Polls(), c.polls) << c.what;
  EXPECT_THAT(tools->waits, Each(Eq(500.0f))) << c.what;
  EXPECT_EQ(tools->waits.size(), c.polls) << "the wait comes before each query";
}

INSTANTIATE_TEST_SUITE_P(
    Waits, CompletionWaitCases,
    ::testing::Values(WaitCase{"answered at once", {"1"}, "1", 30, 1},
                      WaitCase{"never, 15 s", {"0"}, "1", 15, 31},
                      WaitCase{"never, 30 s", {"0"}, "1", 30, 61},
                      WaitCase{"third poll", {"0", "0", "1"}, "1", 30, 3},
                      WaitCase{"first character only", {"10"}, "1", 15, 1},
                      WaitCase{"longer expected text never matches", {"10"}, "10", 15, 31},
                      WaitCase{"empty answer never matches", {""}, "1", 15, 31},
                      WaitCase{"zero limit", {"0"}, "1", 0, 1}));

TEST_F(CompletionWaitTest, TransportErrorEndsTheWaitWithThePrefix) {
  instrument->Answer("SYST:POW:STAT?", {"0"});
  instrument->failFromExchange = 3;
  const MarlinError e = ErrorOf([&] { access.WaitForComplete("SYST:POW:STAT?", "1", 30); });
  EXPECT_EQ(e.Number(), 4040);
  EXPECT_EQ(e.Description(),
            "Marlin Amplifier-AMP1: Marlin Amplifier-AMP1: Marlin Amplifier-AMP1: LAN query "
            "data failed!");
  EXPECT_EQ(Polls(), 3u) << "no query after the failing one";
  EXPECT_EQ(trace->reports.size(), 2u) << "reported by the transport, then by the wait";
}

TEST_F(CompletionWaitTest, TracesTheCommandItPolls) {
  instrument->Answer("SYST:POW:STAT?", {"1"});
  access.WaitForComplete("SYST:POW:STAT?", "1", 30);
  ASSERT_FALSE(trace->lines.empty());
  EXPECT_EQ(trace->lines.front().procedure, "WaitForComplete");
  EXPECT_EQ(trace->lines.front().data, "Command = SYST:POW:STAT?");
}

}  // namespace
}  // namespace marlin::testing

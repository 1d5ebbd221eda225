// The GPIB gateway over real loopback TCP: controller commands, addressing, reads, and the
// bus semantics of the devices behind it.
#include <gtest/gtest.h>

#include "sim/gateway_front.h"
#include "tests/sim/line_client.h"
#include "tests/sim/sim_fixture.h"

namespace marlin::sim::testing {
namespace {

class Gateway : public ::testing::Test {
 protected:
  Gateway()
      : pa4415_(Powered("PA4415")),
        pa4520_(Powered("PA4520")),
        gateway_({{5, pa4415_.amp}, {9, pa4520_.amp}}),
        host_(gateway_.Port()) {}

  Bench pa4415_, pa4520_;
  GatewayFront gateway_;
  LineClient host_;
};

TEST_F(Gateway, ControllerSettingsAnswerWhenAskedAndKeepWhatIsSet) {
  const std::pair<const char*, const char*> cases[] = {
      {"++ver", "Marlin simulated GPIB-ETHERNET gateway version 1.0\r\n"},
      {"++addr", "5\r\n"},  // the lowest address served
      {"++auto", "0\r\n"},
      {"++eoi", "1\r\n"},
      {"++eos", "0\r\n"},
      {"++mode", "1\r\n"},
      {"++read_tmo_ms", "500\r\n"},
      {"++addr 9", ""},
      {"++addr", "9\r\n"},
      {"++eos 2", ""},
      {"++eos", "2\r\n"},
      {"++addr 31", "Invalid parameter\r\n"},
      {"++eos x", "Invalid parameter\r\n"},
      {"++addr", "9\r\n"},
      {"++loc", ""},
      {"++frobnicate", "Unrecognized command\r\n"},
  };
  for (const auto& [line, answer] : cases) {
    host_.Send(std::string(line) + "\n");
    EXPECT_EQ(std::string(answer).empty() ? host_.ReadFor(30ms) : host_.ReadLine(), answer) << line;
  }
}

TEST_F(Gateway, DataGoesToTheAddressedDeviceAndReadEoiBringsTheAnswer) {
  host_.Send("*IDN?\r\n++read eoi\n");
  EXPECT_EQ(host_.ReadLine(), "Quellmarkfabrik,PA4415,100001,SW:2.20\n");
  host_.Send("++addr 9\nRF:BAND:PATH 4\n++auto 1\n*IDN?\n");
  EXPECT_EQ(host_.ReadLine(), "Quellmarkfabrik,PA4520,100001,SW:2.20\n");
  EXPECT_EQ(pa4520_.amp->Snapshot().bandPath, 4);
  EXPECT_EQ(pa4415_.amp->Snapshot().bandPath, 0);
  const auto received = pa4520_.amp->TranscriptEntries();
  ASSERT_FALSE(received.empty());
  EXPECT_EQ(received.front().peer, "gpib:9");
}

TEST_F(Gateway, ANewMessageBeforeTheAnswerWasReadDiscardsIt) {
  host_.Send("*IDN?\nSYST:POW:STAT?\n++read eoi\n");
  EXPECT_EQ(host_.ReadLine(), "1\n");
  host_.Send("SYST:ERR?\n++read eoi\n");
  EXPECT_EQ(host_.ReadLine(), "-410,\"Query INTERRUPTED\"\n");
}

TEST_F(Gateway, WithoutEoiOrLineFeedTheDeviceWaitsForTheEndOfTheMessage) {
  host_.Send("++eos 3\n++eoi 0\nSYST:POW:\n++eoi 1\nSTAT?\n++read eoi\n");
  EXPECT_EQ(host_.ReadLine(), "1\n");
  host_.Send("++eos 1\n++eoi 0\nSYST:ERR?\n++read eoi\n");
  EXPECT_EQ(host_.ReadFor(100ms), "");  // CR alone ends no message
  std::vector<std::string> received;
  for (const auto& entry : pa4415_.amp->TranscriptEntries())
    if (entry.direction == Direction::Received) received.push_back(entry.text);
  EXPECT_EQ(received, std::vector<std::string>{"SYST:POW:STAT?"});
}

TEST_F(Gateway, EscapedBytesAreDataNotControllerCommands) {
  const std::string escape(1, '\x1b');
  host_.Send(escape + "+" + escape + "+addr 9\n");  // reaches the device as "++addr 9"
  host_.Send("++addr\n");
  EXPECT_EQ(host_.ReadLine(), "5\r\n");
  host_.Send("SYST:ERR?\n++read eoi\n");
  EXPECT_EQ(host_.ReadLine(), "-102,\"Syntax error;++addr 9\"\n");
  // The line's own terminator, escaped, reaches the device as data.
  host_.Send("++eos 3\nSYST:POW:STAT?" + escape + "\r" + escape + "\n\n++read eoi\n");
  EXPECT_EQ(host_.ReadLine(), "1\n");
}

TEST_F(Gateway, ReadUpToACharacterLeavesTheRestForTheNextRead) {
  host_.Send("*IDN?\n++read 44\n");  // up to the first ","
  EXPECT_EQ(host_.ReadFor(100ms), "Quellmarkfabrik,");
  host_.Send("++eot_enable 1\n++eot_char 35\n++read eoi\n");
  EXPECT_EQ(host_.ReadFor(100ms), "PA4415,100001,SW:2.20\n#");
}

TEST_F(Gateway, ALateAnswerIsReadOnlyOnceTheClockHasPassedIt) {
  Faults slow;
  slow.answerDelay = 3s;
  pa4415_.amp->SetFaults(slow);
  host_.Send("++read_tmo_ms 50\nSYST:POW:STAT?\n++read eoi\n");
  EXPECT_EQ(host_.ReadFor(150ms), "");  // the gateway's read timed out
  pa4415_.Advance(3s);
  host_.Send("++read eoi\n");
  EXPECT_EQ(host_.ReadLine(), "1\n");
}

TEST_F(Gateway, SerialPollReportsAnswerWaitingAndErrorsQueued) {
  host_.Send("++spoll\n");
  EXPECT_EQ(host_.ReadLine(), "0\r\n");
  host_.Send("FOO\n*IDN?\n++spoll 5\n");
  EXPECT_EQ(host_.ReadLine(), "20\r\n");
}

TEST_F(Gateway, ADroppedDeviceConnectionClosesTheHostConnectionOnly) {
  Faults drop;
  drop.dropConnection = true;
  pa4415_.amp->SetFaults(drop);
  host_.Send("*IDN?\n");
  EXPECT_TRUE(host_.ClosedByPeer());
  pa4415_.amp->SetFaults({});
  LineClient again(gateway_.Port());
  again.Send("++auto 1\nSYST:POW:STAT?\n");
  EXPECT_EQ(again.ReadLine(), "1\n");
}

TEST(GatewayConfig, RejectsAddressesOutsideTheBusAndMissingAmplifiers) {
  Bench bench;
  EXPECT_THROW(GatewayFront({{31, bench.amp}}), std::invalid_argument);
  EXPECT_THROW(GatewayFront({{-1, bench.amp}}), std::invalid_argument);
  EXPECT_THROW(GatewayFront({{3, nullptr}}), std::invalid_argument);
}

}  // namespace
}  // namespace marlin::sim::testing

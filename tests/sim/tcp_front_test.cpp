// The raw SCPI socket over real loopback TCP, with the amplifier on a virtual clock.
#include <gtest/gtest.h>

#include <filesystem>
#include <system_error>

#include "sim/tcp_front.h"
#include "tests/sim/line_client.h"
#include "tests/sim/sim_fixture.h"

namespace marlin::sim::testing {
namespace {

std::size_t OpenDescriptors() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
    ++count;
  return count;
}

TEST(TcpFront, AnswersCrLfLinesWithLfAndSharesStateBetweenClients) {
  Bench bench(Powered());
  TcpFront front(bench.amp);
  LineClient first(front.Port()), second(front.Port());
  EXPECT_EQ(first.Query("*IDN?"), "Quellmarkfabrik,PA4400,100001,SW:2.20\n");
  first.Send("RF:BAND:PATH 7\r\n");
  EXPECT_EQ(first.Query("SYST:ERR?"), "0,\"No error\"\n");  // the command is through
  EXPECT_EQ(second.Query("RF:BAND:PATH?"), "7\n");
  // Several lines in one segment are answered in order.
  second.Send("SYST:POW:STAT?\r\nRF:BAND:PATH?\nSYST:ERR?\r\n");
  EXPECT_EQ(second.ReadLine(), "1\n");
  EXPECT_EQ(second.ReadLine(), "7\n");
  EXPECT_EQ(second.ReadLine(), "0,\"No error\"\n");
  EXPECT_EQ(front.ClientCount(), 2u);
}

TEST(TcpFront, SeveralAmplifiersOnSeveralPortsInOneProcess) {
  Bench a(Powered("PA4413")), b(Powered("PA4520"));
  TcpFront frontA(a.amp), frontB(b.amp);
  ASSERT_NE(frontA.Port(), frontB.Port());
  LineClient clientA(frontA.Port()), clientB(frontB.Port());
  EXPECT_NE(clientA.Query("*IDN?").find("PA4413"), std::string::npos);
  EXPECT_NE(clientB.Query("*IDN?").find("PA4520"), std::string::npos);
}

TEST(TcpFront, ALateAnswerArrivesOnlyWhenTheClockHasMoved) {
  Bench bench(Powered());
  Faults late;
  late.answerDelay = 12s;
  bench.amp->SetFaults(late);
  TcpFront front(bench.amp);
  LineClient client(front.Port());
  client.Send("SYST:POW:STAT?\r\n");
  EXPECT_EQ(client.ReadFor(100ms), "");
  bench.Advance(11999ms);
  EXPECT_EQ(client.ReadFor(50ms), "");
  bench.Advance(1ms);
  EXPECT_EQ(client.ReadLine(), "1\n");
  const auto entries = bench.amp->TranscriptEntries();
  ASSERT_FALSE(entries.empty());
  EXPECT_EQ(entries.back().direction, Direction::Sent);
  EXPECT_EQ(entries.back().time, 12s);
}

TEST(TcpFront, ADroppedConnectionClosesAtTheNextLineAndANewOneWorks) {
  Bench bench(Powered());
  TcpFront front(bench.amp);
  Faults drop;
  drop.dropConnection = true;
  bench.amp->SetFaults(drop);
  {
    LineClient client(front.Port());
    client.Send("*IDN?\r\n");
    EXPECT_TRUE(client.ClosedByPeer());
  }
  bench.amp->SetFaults({});
  LineClient again(front.Port());
  EXPECT_EQ(again.Query("SYST:POW:STAT?"), "1\n");
}

TEST(TcpFront, UnterminatedAndOverlongAnswersArriveByteForByte) {
  Bench bench(Powered());
  TcpFront front(bench.amp);
  LineClient client(front.Port());
  Faults faults;
  faults.noTerminator = true;
  bench.amp->SetFaults(faults);
  client.Send("SYST:POW:STAT?\r\n");
  EXPECT_EQ(client.ReadFor(200ms), "1");
  faults = {};
  faults.overlongBytes = 100000;
  bench.amp->SetFaults(faults);
  const std::string answer = client.Query("SYST:POW:STAT?");
  EXPECT_EQ(answer.size(), 100001u);
  EXPECT_EQ(answer.substr(0, 2), "1X");
}

TEST(TcpFront, AnOverlongInputLineIsDiscardedAndReported) {
  Bench bench(Powered());
  TcpFront front(bench.amp);
  LineClient client(front.Port());
  client.Send(std::string(kMaxLineBytes + 10, 'A') + "?\r\n");
  EXPECT_EQ(client.Query("SYST:ERR?"),
            "-223,\"Too much data;line longer than " + std::to_string(kMaxLineBytes) + "\"\n");
  EXPECT_EQ(client.Query("SYST:ERR?"), "0,\"No error\"\n");
}

TEST(TcpFront, RefusesClientsBeyondItsLimit) {
  Bench bench(Powered());
  TcpFront front(bench.amp);
  std::vector<std::unique_ptr<LineClient>> clients;
  for (std::size_t i = 0; i < kMaxClientsPerFront; ++i) {
    clients.push_back(std::make_unique<LineClient>(front.Port()));
    ASSERT_EQ(clients.back()->Query("SYST:POW:STAT?"), "1\n");
  }
  LineClient extra(front.Port());
  EXPECT_TRUE(extra.ClosedByPeer());
  clients.pop_back();
  for (int i = 0; i < 200 && front.ClientCount() == kMaxClientsPerFront; ++i)
    std::this_thread::sleep_for(5ms);
  LineClient late(front.Port());
  EXPECT_EQ(late.Query("SYST:POW:STAT?"), "1\n");
}

TEST(TcpFront, ClosesAClientThatStaysSilentAndKeepsOneThatTalks) {
  Bench bench(Powered());
  TcpFront front(bench.amp, "127.0.0.1", 0, 150ms);
  LineClient idle(front.Port());
  LineClient busy(front.Port());
  ASSERT_EQ(idle.Query("SYST:POW:STAT?"), "1\n");
  for (int i = 0; i < 12; ++i) {
    ASSERT_EQ(busy.Query("SYST:POW:STAT?"), "1\n");
    std::this_thread::sleep_for(30ms);
  }
  EXPECT_TRUE(idle.ClosedByPeer(1s));
  EXPECT_EQ(busy.Query("SYST:POW:STAT?"), "1\n");
  EXPECT_EQ(front.ClientCount(), 1u);
}

TEST(TcpFront, StopClosesClientsAndConnectionsLeaveNoDescriptorBehind) {
  Bench bench(Powered());
  const std::size_t before = OpenDescriptors();
  {
    TcpFront front(bench.amp);
    for (int i = 0; i < 300; ++i) {
      LineClient client(front.Port());
      ASSERT_EQ(client.Query("SYST:POW:STAT?"), "1\n");
    }
    LineClient held(front.Port());
    ASSERT_EQ(held.Query("SYST:POW:STAT?"), "1\n");
    front.Stop();
    EXPECT_TRUE(held.ClosedByPeer());
    EXPECT_EQ(front.ClientCount(), 0u);
    front.Stop();  // idempotent
  }
  EXPECT_EQ(OpenDescriptors(), before);
}

TEST(TcpFront, ClearErrorsForABadAddressOrABusyPort) {
  Bench bench(Powered());
  EXPECT_THROW(TcpFront(bench.amp, "localhost-ish"), std::invalid_argument);
  TcpFront first(bench.amp);
  try {
    TcpFront second(bench.amp, "127.0.0.1", first.Port());
    ADD_FAILURE() << "bound a busy port";
  } catch (const std::system_error& e) {
    EXPECT_NE(std::string(e.what()).find("127.0.0.1:" + std::to_string(first.Port())),
              std::string::npos)
        << e.what();
  }
  EXPECT_THROW(TcpFront(nullptr), std::invalid_argument);
}

}  // namespace
}  // namespace marlin::sim::testing

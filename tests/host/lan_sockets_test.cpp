// The LAN socket service over real loopback TCP: answer framing, ids, bounds, failures.
#include <gtest/gtest.h>

#include <thread>

#include "driver/marlin_error.h"
#include "host/lan_sockets_tcp.h"
#include "tests/support/fd_count.h"
#include "tests/support/loopback_peer.h"

namespace marlin {
namespace {

using namespace std::chrono_literals;
using testing::LoopbackPeer;
using testing::PeerReply;

class LanSocketsTest : public ::testing::Test {
 protected:
  std::int32_t Connect(LoopbackPeer& peer) {
    std::int32_t id = 0;
    bool ok = false;
    lan.Open("127.0.0.1", peer.Port(), id, ok);
    EXPECT_TRUE(ok) << lan.LastError();
    return id;
  }

  std::shared_ptr<VirtualClock> clock = std::make_shared<VirtualClock>();
  TcpLanSockets lan{clock, {1s, 200ms, 1024}};
};

TEST_F(LanSocketsTest, AnswersComeWithoutTheirLineTerminator) {
  // The peer answers the query text itself, which ends with "\n".
  LoopbackPeer peer([](const std::string& line) { return PeerReply{line}; });
  const std::int32_t id = Connect(peer);
  const std::pair<const char*, const char*> cases[] = {
      {"1\n", "1"},         {"1\r\n", "1"},     {"\n", ""},
      {"A\rB\r\n", "A\rB"}, {"A\r\r\n", "A\r"}, {" spaced \r\n", " spaced "},
  };
  for (const auto& [sent, expected] : cases) {
    std::string answer = "stale";
    bool ok = false;
    lan.Query(id, sent, answer, ok);
    EXPECT_TRUE(ok) << lan.LastError();
    EXPECT_EQ(answer, expected) << "answer to " << sent;
  }
}

// Input nobody asked for (a device that answered a command) never answers the next query,
// whether or not the connection was checked just before, as the driver does before each query.
TEST_F(LanSocketsTest, InputWaitingBeforeAQueryIsNotItsAnswer) {
  LoopbackPeer peer([](const std::string& line) {
    return PeerReply{line == "*IDN?\n" ? std::string("ident\n") : std::string("unasked\n")};
  });
  const std::int32_t id = Connect(peer);
  for (bool checkFirst : {true, false}) {
    bool ok = false;
    lan.Send(id, "*CLS\n", ok);
    ASSERT_TRUE(ok) << lan.LastError();
    std::this_thread::sleep_for(50ms);  // the unasked line arrives
    if (checkFirst) {
      bool connected = false;
      lan.IsConnected(id, connected);
      EXPECT_TRUE(connected);
    }
    std::string answer;
    lan.Query(id, "*IDN?\n", answer, ok);
    EXPECT_TRUE(ok) << lan.LastError();
    EXPECT_EQ(answer, "ident") << (checkFirst ? "checked first" : "not checked");
  }
}

TEST_F(LanSocketsTest, SocketIdsArePositiveAndNeverReused) {
  LoopbackPeer peer([](const std::string&) { return PeerReply{}; });
  const std::int32_t a = Connect(peer);
  const std::int32_t b = Connect(peer);
  bool ok = false;
  lan.Close(a, ok);
  EXPECT_TRUE(ok);
  const std::int32_t c = Connect(peer);
  EXPECT_GT(a, 0);
  EXPECT_NE(a, b);
  EXPECT_NE(c, a);
  EXPECT_NE(c, b);

  bool connected = true;
  lan.IsConnected(a, connected);
  EXPECT_FALSE(connected) << "a closed id stays closed";
  lan.Close(a, ok);
  EXPECT_FALSE(ok);
  lan.Send(a, "x\n", ok);
  EXPECT_FALSE(ok);
}

TEST_F(LanSocketsTest, FailuresAnswerFalseWithTheReasonKept) {
  LoopbackPeer peer([](const std::string& line) -> PeerReply {
    if (line == "silent\n") return {};
    if (line == "long\n") return {std::string(2000, 'x') + "\n"};
    return {"", false, /*hangUp=*/true};
  });
  const std::int32_t id = Connect(peer);
  const std::pair<const char*, const char*> cases[] = {
      {"silent\n", "no answer within 200 ms"},
      {"long\n", "answer longer than 1024 bytes"},
      {"bye\n", "closed the connection"},
  };
  for (const auto& [query, reason] : cases) {
    std::string answer;
    bool ok = true;
    lan.Query(id, query, answer, ok);
    EXPECT_FALSE(ok) << query;
    EXPECT_EQ(answer, "");
    EXPECT_NE(lan.LastError().find(reason), std::string::npos) << lan.LastError();
  }
  bool connected = true;
  lan.IsConnected(id, connected);
  EXPECT_FALSE(connected);
}

TEST_F(LanSocketsTest, OpenRefusesWrongArgumentsAndReportsRefusedConnections) {
  std::int32_t id = 7;
  bool ok = true;
  for (std::int32_t port : {0, -1, 65536}) {
    try {
      lan.Open("127.0.0.1", port, id, ok);
      ADD_FAILURE() << "port " << port << " accepted";
    } catch (const MarlinError& e) {
      EXPECT_EQ(e.Number(), 5);
      EXPECT_NE(e.Description().find(std::to_string(port)), std::string::npos);
    }
  }
  EXPECT_THROW(lan.Open("", 5025, id, ok), MarlinError);

  std::uint16_t closedPort = 0;
  {
    closedPort = LoopbackPeer([](const std::string&) { return PeerReply{}; }).Port();
  }
  lan.Open("127.0.0.1", closedPort, id, ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(id, -1);
  EXPECT_NE(lan.LastError().find("cannot connect"), std::string::npos) << lan.LastError();
}

TEST_F(LanSocketsTest, ConfigurationIsChecked) {
  EXPECT_THROW(TcpLanSockets(clock, {0s, 1s, 10}), MarlinError);
  EXPECT_THROW(TcpLanSockets(clock, {1s, -1s, 10}), MarlinError);
  EXPECT_THROW(TcpLanSockets(clock, {1s, 1s, 0}), MarlinError);
  EXPECT_THROW(TcpLanSockets(nullptr), MarlinError);
}

TEST_F(LanSocketsTest, ThousandConnectionsLeaveNoDescriptorBehind) {
  LoopbackPeer peer([](const std::string& line) { return PeerReply{line}; });
  const std::size_t descriptors = testing::OpenDescriptors();
  for (int i = 0; i < 1000; ++i) {
    const std::int32_t id = Connect(peer);
    ASSERT_GT(id, 0) << "connection " << i;
    bool ok = false;
    if (i % 100 == 0) {
      std::string answer;
      lan.Query(id, "ping\n", answer, ok);
      ASSERT_EQ(answer, "ping");
    }
    lan.Close(id, ok);
    ASSERT_TRUE(ok);
  }
  EXPECT_EQ(lan.OpenSockets(), 0u);
  ASSERT_TRUE(peer.AwaitAllClosed(1000, std::chrono::seconds(5)));
  EXPECT_EQ(testing::OpenDescriptors(), descriptors);
}

}  // namespace
}  // namespace marlin

// SendCmdString and ReadCmdResponse on each route, through the real services over loopback:
// against a raw peer where the bytes on the wire matter, against the simulator for answers.
#include <gtest/gtest.h>

#include "tests/io/simulator_fixture.h"
#include "tests/support/error_of.h"
#include "tests/support/loopback_peer.h"

namespace marlin {
namespace {

using namespace std::chrono_literals;
using testing::LoopbackPeer;
using testing::PeerReply;
using testing::Route;

constexpr std::size_t kVisaBuffer = 256;

// What a peer sees of the commands: as they are on a raw socket; escaped and framed for a
// gateway, whose device then receives them as they are.
std::string OnTheWire(Route route, std::initializer_list<std::string> commands) {
  std::string wire = route == Route::Gpib ? testing::kGatewaySetup : "";
  for (const auto& c : commands) {
    if (route != Route::Gpib) {
      wire += c;
      continue;
    }
    for (char ch : c) {
      if (ch == '\r' || ch == '\n') wire += '\x1b';
      wire += ch;
    }
    wire += '\n';
  }
  return wire;
}

class RawPeerRoutes : public testing::RouteFixture, public ::testing::WithParamInterface<Route> {
 protected:
  LoopbackPeer peer{[](const std::string&) { return PeerReply{}; }};

  void ExpectWire(std::initializer_list<std::string> commands) {
    const std::string expected = OnTheWire(GetParam(), commands);
    ASSERT_TRUE(peer.AwaitReceived(expected.size(), 5s)) << "got only: " << peer.Received();
    EXPECT_EQ(peer.Received(), expected);
  }
};

TEST_P(RawPeerRoutes, CommandsReachTheInstrumentByteForByte) {
  Connect(GetParam(), peer.Port());
  for (const char* c : {"*CLS\r\n", "", "RF:BAND:PATH 2\r\n", "SYST:SCPI:TIME 24H\r\n"}) {
    access.SendCmdString(c);
  }
  ExpectWire({"*CLS\r\n", "RF:BAND:PATH 2\r\n", "SYST:SCPI:TIME 24H\r\n"});
}

TEST_P(RawPeerRoutes, StatusZeroSendsNothingAndStatusTwoOnlyCommands) {
  Connect(GetParam(), peer.Port());
  access.Status() = 0;
  access.SendCmdString("*CLS\r\n");
  EXPECT_EQ(access.ReadCmdResponse("*IDN?\r\n", 200), "");
  access.Status() = 2;
  access.SendCmdString("SYST:POW 1\r\n");
  EXPECT_EQ(access.ReadCmdResponse("*IDN?\r\n", 200), "");
  access.Status() = 1;
  access.SendCmdString("*CLS\r\n");
  ExpectWire({"SYST:POW 1\r\n", "*CLS\r\n"});
  EXPECT_TRUE(tools->waits.empty());
}

INSTANTIATE_TEST_SUITE_P(AllRoutes, RawPeerRoutes,
                         ::testing::Values(Route::Lan, Route::Visa, Route::Gpib),
                         [](const auto& info) { return testing::RouteName(info.param); });

class SimulatorRoutes : public testing::SimulatorFixture,
                        public ::testing::WithParamInterface<Route> {
 protected:
  void ConnectToSimulator(std::int32_t gpibTimeoutCode = testing::kGpibTenSeconds) {
    SimulatorFixture::ConnectToSimulator(GetParam(), gpibTimeoutCode);
  }
};

TEST_P(SimulatorRoutes, EachRouteGivesItsAnswerForm) {
  ConnectToSimulator();
  const std::string id = instrument->Identification();
  const std::string idn = access.ReadCmdResponse("*IDN?\r\n", 200);
  const std::string power = access.ReadCmdResponse("SYST:POW?\r\n", 200);
  switch (GetParam()) {
    case Route::Lan:
      EXPECT_EQ(idn, id);
      EXPECT_EQ(power, "0");
      EXPECT_TRUE(tools->waits.empty());
      break;
    case Route::Visa:
      EXPECT_EQ(idn, id + "\n" + std::string(kVisaBuffer - id.size() - 1, '\0'));
      EXPECT_EQ(power, "0\n" + std::string(kVisaBuffer - 2, '\0'));
      EXPECT_EQ(tools->waits, (std::vector<float>{200, 200}));
      break;
    case Route::Gpib:
      EXPECT_EQ(idn, id + "\n" + std::string(kGpibBufferLength - id.size() - 1, ' '));
      EXPECT_EQ(power, "0\n" + std::string(kGpibBufferLength - 2, ' '));
      EXPECT_EQ(amp->Fields().GpibReadBuffer, power);
      EXPECT_TRUE(tools->waits.empty());
      break;
  }
}

TEST_P(SimulatorRoutes, EmptyQueryIsSentOnlyWhereTheServiceDecides) {
  ConnectToSimulator(testing::kGpibHundredMs);
  const std::string prefix = "Marlin Amplifier-AMP1: ";
  switch (GetParam()) {
    case Route::Visa:
      EXPECT_EQ(access.ReadCmdResponse("", 200), std::string(kVisaBuffer, '\0'));
      EXPECT_TRUE(tools->waits.empty());
      break;
    case Route::Lan:
      try {
        access.ReadCmdResponse("", 200);
        ADD_FAILURE() << "an empty query was answered";
      } catch (const MarlinError& e) {
        EXPECT_EQ(e.Number(), errors::kTransport);
        EXPECT_EQ(e.Description(), prefix + prefix + "LAN query data failed!");
      }
      break;
    case Route::Gpib:
      try {
        access.ReadCmdResponse("", 200);
        ADD_FAILURE() << "an empty query was answered";
      } catch (const MarlinError& e) {
        EXPECT_EQ(e.Number(), errors::kGpibGiveUp);
        EXPECT_EQ(e.Description(), prefix + "GPIB board 0, address 7: no answer within 100 ms");
      }
      break;
  }
  EXPECT_EQ(Count(sim::Direction::Received), 0u) << "the instrument saw no line";
}

TEST_P(SimulatorRoutes, OverlongAnswerIsBoundedAndLeavesNothingForTheNextQuery) {
  if (GetParam() == Route::Lan) GTEST_SKIP() << "the LAN route takes the answer as it comes";
  ConnectToSimulator();
  SetFaults([](sim::Faults& f) { f.overlongBytes = 300; });
  const std::string first = access.ReadCmdResponse("*IDN?\r\n", 200);
  const std::size_t length = GetParam() == Route::Visa ? kVisaBuffer : kGpibBufferLength;
  ASSERT_EQ(first.size(), length);
  EXPECT_EQ(first.rfind(instrument->Identification(), 0), 0u);
  EXPECT_EQ(first.find('\n'), std::string::npos) << "cut before the terminator";

  SetFaults([](sim::Faults&) {});
  EXPECT_EQ(access.ReadCmdResponse("SYST:POW?\r\n", 200).substr(0, 2), "0\n");
}

TEST_P(SimulatorRoutes, UnansweredQuery) {
  ConnectToSimulator(testing::kGpibHundredMs);
  SetVisaTimeout(100);
  SetFaults([](sim::Faults& f) { f.silent = true; });
  switch (GetParam()) {
    case Route::Visa:
      EXPECT_EQ(access.ReadCmdResponse("*IDN?\r\n", 200), std::string(kVisaBuffer, '\0'))
          << "no error on the VISA route";
      break;
    case Route::Lan:
      EXPECT_THROW(access.ReadCmdResponse("*IDN?\r\n", 200), MarlinError);
      EXPECT_NE(lan->LastError().find("no answer within 300 ms"), std::string::npos);
      break;
    case Route::Gpib:
      EXPECT_THROW(access.ReadCmdResponse("*IDN?\r\n", 200), MarlinError);
      EXPECT_NE(gpib->LastError().find("no answer within 100 ms"), std::string::npos);
      break;
  }
}

INSTANTIATE_TEST_SUITE_P(AllRoutes, SimulatorRoutes,
                         ::testing::Values(Route::Lan, Route::Visa, Route::Gpib),
                         [](const auto& info) { return testing::RouteName(info.param); });

class LanDescriptions : public testing::RouteFixture {};

TEST_F(LanDescriptions, LostConnectionCarriesTheDevicePrefixTwice) {
  LoopbackPeer peer([](const std::string&) { return PeerReply{}; });
  struct Case {
    const char* name;
    bool query;
    const char* description;
  };
  const Case cases[] = {
      {"AMP1", false, "Marlin Amplifier-AMP1: Marlin Amplifier-AMP1: No LAN connection available!"},
      {"AMP1", true, "Marlin Amplifier-AMP1: Marlin Amplifier-AMP1: No LAN connection available!"},
      {"", false, "Marlin Amplifier-: Marlin Amplifier-: No LAN connection available!"},
      {"", true, "Marlin Amplifier-: Marlin Amplifier-: No LAN connection available!"},
  };
  Connect(Route::Lan, peer.Port());
  bool closed = false;
  host::ThreadContext()->DevList().LanClose(amp->Fields().LanSocket, closed);
  ASSERT_TRUE(closed);
  for (const auto& c : cases) {
    access.Name() = c.name;
    try {
      if (c.query) {
        access.ReadCmdResponse("*IDN?\r\n", 200);
      } else {
        access.SendCmdString("*CLS\r\n");
      }
      ADD_FAILURE() << "no error for a closed socket";
    } catch (const MarlinError& e) {
      EXPECT_EQ(e.Number(), errors::kTransport);
      EXPECT_EQ(e.Description(), c.description);
    }
  }
  EXPECT_EQ(peer.Received(), "") << "nothing sent";
}

// A vendor's VISA library keeps whatever is still unread when the next write starts; only the
// transport's own drain keeps the rest of an over-long answer from answering the next query.
class VendorLikeVisa : public testing::SimulatorFixture {
 protected:
  VendorLikeVisa() {
    BuiltinVisaOptions options;
    options.dropPendingOnWrite = false;
    visa = std::make_shared<BuiltinVisa>(options);
    host::Replace(visa);
  }
};

TEST_F(VendorLikeVisa, OverlongAnswerIsDrainedBeforeTheNextQuery) {
  ConnectToSimulator(Route::Visa);
  SetFaults([](sim::Faults& f) { f.overlongBytes = 1000; });
  const std::string first = access.ReadCmdResponse("*IDN?\r\n", 200);
  ASSERT_EQ(first.size(), kVisaBuffer);
  EXPECT_EQ(first.rfind(instrument->Identification(), 0), 0u);
  SetFaults([](sim::Faults&) {});
  EXPECT_EQ(access.ReadCmdResponse("SYST:POW?\r\n", 200).substr(0, 2), "0\n");
}

// A LAN service whose socket reports itself connected while every exchange fails.
class FailingExchanges final : public LanSockets {
 public:
  void Open(const std::string&, std::int32_t, std::int32_t& s, bool& ok) override {
    s = 1;
    ok = true;
  }
  void Close(std::int32_t, bool& ok) override { ok = true; }
  void Send(std::int32_t, const std::string& text, bool& ok) override {
    sent += text;
    ok = false;
  }
  void Query(std::int32_t, const std::string& text, std::string& answer, bool& ok) override {
    sent += text;
    answer = "stale";
    ok = false;
  }
  void IsConnected(std::int32_t, bool& connected) override { connected = true; }
  std::string sent;
};

TEST_F(LanDescriptions, FailedExchangesOnAConnectedSocketCarryTheDevicePrefixTwice) {
  auto failing = std::make_shared<FailingExchanges>();
  Install(std::make_unique<StandaloneDevList>(nullptr, failing));
  access.Interface() = route::kLan;
  access.LanSocket() = 1;
  const MarlinError send = testing::ErrorOf([&] { access.SendCmdString("*CLS\r\n"); });
  EXPECT_EQ(send.Number(), errors::kTransport);
  EXPECT_EQ(send.Description(),
            "Marlin Amplifier-AMP1: Marlin Amplifier-AMP1: LAN send data failed!");
  const MarlinError query = testing::ErrorOf([&] { access.ReadCmdResponse("*IDN?\r\n", 200); });
  EXPECT_EQ(query.Number(), errors::kTransport);
  EXPECT_EQ(query.Description(),
            "Marlin Amplifier-AMP1: Marlin Amplifier-AMP1: LAN query data failed!");
  EXPECT_EQ(failing->sent, "*CLS\r\n*IDN?\r\n") << "each tried once, no retry";
}

}  // namespace
}  // namespace marlin

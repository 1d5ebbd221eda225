// The stand-alone GPIB service: its board table, its status word, and its backends (the
// simulator in-process, the gateway protocol as bytes on the wire, the simulator's gateway).
#include <gtest/gtest.h>

#include "driver/marlin_error.h"
#include "host/gpib_service.h"
#include "host/gpib_sim.h"
#include "platform/shared_library.h"
#include "tests/support/loopback_peer.h"

namespace marlin {
namespace {

using namespace std::chrono_literals;
using testing::LoopbackPeer;
using testing::PeerReply;

constexpr std::int16_t kErrorBit = static_cast<std::int16_t>(gpib_status::kError);
constexpr std::int32_t kTenSeconds = 13;
constexpr std::int32_t kHundredMs = 9;
constexpr std::int32_t kLineFeedEos = 0x0C0A;

struct Board {
  std::shared_ptr<VirtualClock> clock = std::make_shared<VirtualClock>();
  std::unique_ptr<StandaloneGpib> gpib;

  explicit Board(const std::string& backend)
      : gpib(MakeGpibService({{0, backend}}, clock, GpibBackendsWithSim())) {}

  std::int16_t Open(std::int32_t timeoutCode = kTenSeconds, std::int16_t address = 7) {
    std::int16_t handle = 0;
    gpib->GpibOpen(0, address, 0, timeoutCode, 1, kLineFeedEos, handle);
    return handle;
  }
};

TEST(GpibService, BoardTableIsCheckedWhenTheServiceIsMade) {
  auto clock = std::make_shared<VirtualClock>();
  const std::pair<const char*, const char*> wrong[] = {
      {"gpib-over-carrier-pigeon", "unknown backend 'gpib-over-carrier-pigeon'"},
      {"prologix://127.0.0.1", "prologix://host:port"},
      {"prologix://127.0.0.1:0", "not a number from 1 to 65535"},
      {"prologix://:1234", "prologix://host:port"},
      {"sim:PA9999", "PA9999"},
  };
  for (const auto& [text, reason] : wrong) {
    try {
      MakeGpibService({{2, text}}, clock, GpibBackendsWithSim());
      ADD_FAILURE() << text << " accepted";
    } catch (const MarlinError& e) {
      EXPECT_EQ(e.Number(), 5);
      EXPECT_NE(e.Description().find("[gpib] board2 = \"" + std::string(text) + "\""),
                std::string::npos)
          << e.Description();
      EXPECT_NE(e.Description().find(reason), std::string::npos) << e.Description();
    }
  }
  EXPECT_NO_THROW(
      MakeGpibService({{0, "linux-gpib"}, {1, "prologix://127.0.0.1:1234"}, {3, "sim:PA4415"}},
                      clock, GpibBackendsWithSim()));
  EXPECT_THROW(MakeGpibService({{0, "sim:PA4415"}}, clock, StandardGpibBackends()), MarlinError)
      << "the simulator is only there when its backend is added";
}

TEST(GpibService, FailedOpensSetTheErrorBitAndSayWhy) {
  Board board("sim:PA4415");
  std::int16_t handle = 0;
  struct Case {
    std::int16_t board, address;
    std::int32_t secondary, timeout, eoi, eos;
    const char* reason;
  };
  const Case cases[] = {
      {1, 7, 0, kTenSeconds, 1, kLineFeedEos, "board 1 has no backend"},
      {0, 31, 0, kTenSeconds, 1, kLineFeedEos, "primary address 31"},
      {0, 7, 95, kTenSeconds, 1, kLineFeedEos, "secondary address 95"},
      {0, 7, 0, 0, 1, kLineFeedEos, "timeout code 0"},
      {0, 7, 0, 18, 1, kLineFeedEos, "timeout code 18"},
      {0, 7, 0, kTenSeconds, 2, kLineFeedEos, "end-or-identify mode 2"},
      {0, 7, 0, kTenSeconds, 1, 0x2000, "end-of-string mode 8192"},
  };
  for (const auto& c : cases) {
    board.gpib->GpibOpen(c.board, c.address, c.secondary, c.timeout, c.eoi, c.eos, handle);
    EXPECT_EQ(handle, -1) << c.reason;
    EXPECT_EQ(board.gpib->GpibStatus() & kErrorBit, kErrorBit) << c.reason;
    EXPECT_NE(board.gpib->LastError().find(c.reason), std::string::npos) << board.gpib->LastError();
  }
  EXPECT_EQ(board.gpib->OpenHandles(), 0u);
}

TEST(GpibService, MissingLinuxGpibIsAClearErrorAtOpen) {
  std::string error;
  if (SharedLibrary::Open("libgpib.so.0", error).IsLoaded()) GTEST_SKIP() << "linux-gpib present";
  Board board("linux-gpib");
  EXPECT_EQ(board.Open(), -1);
  EXPECT_EQ(board.gpib->GpibStatus() & kErrorBit, kErrorBit);
  EXPECT_NE(board.gpib->LastError().find("linux-gpib is not installed"), std::string::npos)
      << board.gpib->LastError();
  EXPECT_NE(board.gpib->LastError().find("libgpib.so.0"), std::string::npos)
      << "the loader's own message is kept";
}

TEST(GpibService, SimulatedAmplifierAnswersOnTheHostsClock) {
  Board board("sim:PA4415");
  const std::int16_t handle = board.Open();
  ASSERT_GT(handle, 0);
  board.gpib->GpibWrite(handle, "*IDN?\r\n");
  std::string answer(100, ' ');
  board.gpib->GpibRead(handle, answer);
  EXPECT_EQ(answer.rfind("Quellmarkfabrik,PA4415,", 0), 0u) << answer;
  EXPECT_EQ(answer.back(), '\n') << "the answer as the device sent it";
  EXPECT_TRUE(board.gpib->GpibSucceeded());
  EXPECT_EQ(board.gpib->GpibStatus() & kErrorBit, 0);

  // Nothing asked, nothing to read: the read gives up after 10 s on the virtual clock.
  const auto before = board.clock->Now();
  try {
    board.gpib->GpibRead(handle, answer);
    ADD_FAILURE() << "read without an answer succeeded";
  } catch (const MarlinError& e) {
    EXPECT_EQ(e.Number(), errors::kGpibGiveUp);
    EXPECT_NE(e.Description().find("GPIB board 0, address 7: no answer within 10000 ms"),
              std::string::npos)
        << e.Description();
  }
  EXPECT_EQ(board.clock->Now() - before, 10s);
  EXPECT_EQ(board.gpib->GpibStatus(),
            static_cast<std::int16_t>(gpib_status::kError | gpib_status::kTimeout));
  EXPECT_FALSE(board.gpib->GpibSucceeded());
}

TEST(GpibService, HandlesAreGivenUpOnClose) {
  Board board("sim:PA4415");
  const std::int16_t a = board.Open(kTenSeconds, 7);
  const std::int16_t b = board.Open(kTenSeconds, 8);
  EXPECT_GT(a, 0);
  EXPECT_NE(a, b);
  board.gpib->GpibPrepareClose(a);
  board.gpib->GpibClose(a, 0);
  EXPECT_EQ(board.gpib->OpenHandles(), 1u);
  try {
    board.gpib->GpibWrite(a, "*CLS\r\n");
    ADD_FAILURE() << "a closed handle still writes";
  } catch (const MarlinError& e) {
    EXPECT_EQ(e.Number(), errors::kGpibGiveUp);
    EXPECT_NE(e.Description().find("GPIB handle " + std::to_string(a) + " is not open"),
              std::string::npos);
  }
  board.gpib->GpibClose(a, 0);  // twice: nothing left to give up, and no error raised
  EXPECT_EQ(board.gpib->GpibStatus() & kErrorBit, kErrorBit);
}

// What a gateway receives: controller set-up once, the device selected, the command escaped so
// that its own CR and LF reach the device, then the request for an answer.
TEST(GpibService, GatewayGetsTheCommandEscapedByteForByte) {
  LoopbackPeer gateway([](const std::string& line) -> PeerReply {
    return {line == "++read eoi\n" ? "Quellmarkfabrik,PA4415,1,SW:2.20\n" : ""};
  });
  Board board("prologix://127.0.0.1:" + std::to_string(gateway.Port()));
  const std::int16_t handle = board.Open();
  ASSERT_GT(handle, 0) << board.gpib->LastError();
  board.gpib->GpibWrite(handle, "*IDN?\r\n");
  std::string answer;
  board.gpib->GpibRead(handle, answer);
  EXPECT_EQ(answer, "Quellmarkfabrik,PA4415,1,SW:2.20\n");
  board.gpib->GpibWrite(handle, "A+B\x1b\r\n");

  const std::string expected =
      "++mode 1\n++auto 0\n++eos 3\n"
      "++addr 7\n++eoi 1\n*IDN?\x1b\r\x1b\n\n"
      "++read eoi\n"
      "A\x1b+B\x1b\x1b\x1b\r\x1b\n\n";
  ASSERT_TRUE(gateway.AwaitReceived(expected.size(), 5s));
  EXPECT_EQ(gateway.Received(), expected);
}

}  // namespace
}  // namespace marlin

// The built-in VISA layer against a scripted peer over loopback: read endings, bounds, statuses,
// stale input and hang-ups, and that sessions are released.
#include <gtest/gtest.h>

#include "io/visa_status.h"
#include "platform/visa_builtin.h"
#include "tests/support/fd_count.h"
#include "tests/support/loopback_peer.h"

namespace marlin {
namespace {

namespace vs = visa_status;
using testing::LoopbackPeer;
using testing::PeerReply;

std::string Resource(std::uint16_t port) {
  return "TCPIP0::127.0.0.1::" + std::to_string(port) + "::SOCKET";
}

class BuiltinVisaTest : public ::testing::Test {
 protected:
  void Open(LoopbackPeer& peer, std::uint32_t timeoutMs = 2000) {
    ASSERT_EQ(visa.viOpenDefaultRM(rm), vs::kSuccess);
    ASSERT_EQ(visa.viOpen(rm, Resource(peer.Port()), 0, 10000, vi), vs::kSuccess);
    ASSERT_EQ(visa.viSetAttribute(vi, visa_attr::kTimeoutValue, timeoutMs), vs::kSuccess);
  }
  void TerminateAtLineFeed() {
    ASSERT_EQ(visa.viSetAttribute(vi, visa_attr::kTermCharEn, 1), vs::kSuccess);
    ASSERT_EQ(visa.viSetAttribute(vi, visa_attr::kTermChar, '\n'), vs::kSuccess);
  }
  ViStatus Write(const std::string& bytes) {
    std::uint32_t written = 0;
    return visa.viWrite(vi, bytes, static_cast<std::uint32_t>(bytes.size()), written);
  }
  // Reads at most `count` bytes; `got` holds them.
  ViStatus Read(std::uint32_t count, std::string& got) {
    std::string buffer(count, '\0');
    std::uint32_t read = 0;
    ViStatus status = visa.viRead(vi, buffer, count, read);
    got = buffer.substr(0, read);
    return status;
  }

  BuiltinVisa visa;
  ViSession rm = 0;
  ViSession vi = 0;
};

PeerReply Echo(const std::string& line) { return {"re:" + line}; }

TEST_F(BuiltinVisaTest, ReadEndsAsTheSessionAttributesSay) {
  LoopbackPeer peer([](const std::string& line) -> PeerReply {
    if (line == "two\n") return {"A\nB\n"};
    if (line == "burst\n") return {"no terminator"};
    return {std::string(300, 'x') + "\n"};
  });
  Open(peer);
  TerminateAtLineFeed();
  std::string got;

  ASSERT_EQ(Write("two\n"), vs::kSuccess);
  EXPECT_EQ(Read(256, got), vs::kSuccessTermChar);
  EXPECT_EQ(got, "A\n");
  EXPECT_EQ(Read(256, got), vs::kSuccessTermChar) << "the rest stays for the next read";
  EXPECT_EQ(got, "B\n");

  // END not suppressed: the read ends where the peer's burst ends, well before the timeout.
  ASSERT_EQ(visa.viSetAttribute(vi, visa_attr::kTimeoutValue, 60000), vs::kSuccess);
  ASSERT_EQ(Write("burst\n"), vs::kSuccess);
  EXPECT_EQ(Read(256, got), vs::kSuccess);
  EXPECT_EQ(got, "no terminator");

  ASSERT_EQ(Write("long\n"), vs::kSuccess);
  EXPECT_EQ(Read(256, got), vs::kSuccessMaxCount);
  EXPECT_EQ(got, std::string(256, 'x'));
  EXPECT_EQ(Read(256, got), vs::kSuccessTermChar);
  EXPECT_EQ(got, std::string(44, 'x') + "\n");
}

TEST_F(BuiltinVisaTest, SuppressedEndWaitsForTheTerminatorUntilTheTimeout) {
  LoopbackPeer peer([](const std::string&) -> PeerReply { return {"partial"}; });
  Open(peer, 100);
  TerminateAtLineFeed();
  ASSERT_EQ(visa.viSetAttribute(vi, visa_attr::kSuppressEndEn, 1), vs::kSuccess);
  std::string got;
  ASSERT_EQ(Write("q\n"), vs::kSuccess);
  EXPECT_EQ(Read(256, got), vs::kErrorTimeout);
  EXPECT_EQ(got, "partial");
}

TEST_F(BuiltinVisaTest, BadCallsGetTheirVisaStatus) {
  LoopbackPeer peer(Echo);
  Open(peer);
  ViSession other = 0;
  std::string small(4, '\0');
  std::uint32_t n = 0;
  const std::pair<ViStatus, ViStatus> cases[] = {
      {visa.viOpen(vi, Resource(peer.Port()), 0, 1000, other), vs::kErrorInvalidObject},
      {visa.viOpen(rm, "TCPIP0::127.0.0.1::0::SOCKET", 0, 1000, other),
       vs::kErrorInvalidResourceName},
      {visa.viOpen(rm, "GPIB0::7::INSTR", 0, 1000, other), vs::kErrorResourceNotFound},
      {visa.viOpen(rm, Resource(peer.Port()), 8, 1000, other), vs::kErrorInvalidAccessMode},
      {visa.viSetAttribute(vi, 0x3FFF0001, 1), vs::kErrorAttributeNotSupported},
      {visa.viSetAttribute(vi, visa_attr::kTermChar, 256), vs::kErrorAttributeStateNotSupported},
      {visa.viSetAttribute(vi, visa_attr::kTermCharEn, 2), vs::kErrorAttributeStateNotSupported},
      {visa.viSetAttribute(vi, visa_attr::kTimeoutValue, 0xFFFFFFFF),
       vs::kErrorAttributeStateNotSupported},
      {visa.viSetAttribute(rm, visa_attr::kTimeoutValue, 10), vs::kErrorAttributeNotSupported},
      {visa.viRead(vi, small, 5, n), vs::kErrorUserBuffer},
      {visa.viWrite(vi, small, 5, n), vs::kErrorUserBuffer},
      {visa.viWrite(12345, small, 1, n), vs::kErrorInvalidObject},
      {visa.viClear(rm), vs::kErrorNotSupportedOperation},
      {visa.viClose(0), vs::kWarningNullObject},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(cases[i].first, cases[i].second) << "case " << i;
  }
  EXPECT_EQ(other, 0);
}

TEST_F(BuiltinVisaTest, RefusedConnectionIsResourceNotFound) {
  std::uint16_t port = 0;
  { port = LoopbackPeer(Echo).Port(); }  // listened once, closed now
  ASSERT_EQ(visa.viOpenDefaultRM(rm), vs::kSuccess);
  EXPECT_EQ(visa.viOpen(rm, Resource(port), 0, 1000, vi), vs::kErrorResourceNotFound);
  EXPECT_EQ(vi, 0);
}

TEST_F(BuiltinVisaTest, ClosingTheResourceManagerClosesItsSessionsAndLeaksNothing) {
  LoopbackPeer peer(Echo);
  const std::size_t descriptors = testing::OpenDescriptors();
  for (int i = 0; i < 200; ++i) {
    ViSession manager = 0, a = 0, b = 0;
    ASSERT_EQ(visa.viOpenDefaultRM(manager), vs::kSuccess);
    ASSERT_EQ(visa.viOpen(manager, Resource(peer.Port()), 0, 1000, a), vs::kSuccess);
    ASSERT_EQ(visa.viOpen(manager, Resource(peer.Port()), 0, 1000, b), vs::kSuccess);
    ASSERT_EQ(visa.viClose(a), vs::kSuccess);
    ASSERT_EQ(visa.viClose(manager), vs::kSuccess);
    ASSERT_EQ(visa.viClose(b), vs::kErrorInvalidObject) << "closed with its manager";
  }
  EXPECT_EQ(visa.OpenSessions(), 0u);
  ASSERT_TRUE(peer.AwaitAllClosed(400, std::chrono::seconds(5)));
  EXPECT_EQ(testing::OpenDescriptors(), descriptors);
}

}  // namespace
}  // namespace marlin

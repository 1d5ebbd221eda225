#include <gtest/gtest.h>

#include "platform/visa_resource.h"

namespace marlin {
namespace {

struct SocketCase {
  const char* name;
  std::uint32_t board;
  const char* host;
  std::uint16_t port;
};

TEST(VisaResource, ReadsSocketNames) {
  const SocketCase cases[] = {
      {"TCPIP0::127.0.0.1::5025::SOCKET", 0, "127.0.0.1", 5025},
      {"TCPIP::localhost::1::SOCKET", 0, "localhost", 1},
      {"tcpip3::amp.lab::65535::socket", 3, "amp.lab", 65535},
      {"TCPIP0::[::1]::5025::SOCKET", 0, "::1", 5025},
      {"TCPIP0::fe80::1::5025::SOCKET", 0, "fe80::1", 5025},
  };
  for (const auto& c : cases) {
    SocketResource r;
    ASSERT_EQ(ParseResource(c.name, r), ResourceKind::Socket) << c.name;
    EXPECT_EQ(r.board, c.board) << c.name;
    EXPECT_EQ(r.host, c.host) << c.name;
    EXPECT_EQ(r.port, c.port) << c.name;
  }
}

TEST(VisaResource, TellsOtherClassesFromNonsense) {
  const std::pair<const char*, ResourceKind> cases[] = {
      {"GPIB0::7::INSTR", ResourceKind::OtherClass},
      {"TCPIP0::10.0.0.1::inst0::INSTR", ResourceKind::OtherClass},
      {"ASRL1::INSTR", ResourceKind::OtherClass},
      {"", ResourceKind::Malformed},
      {"TCPIP0::SOCKET", ResourceKind::Malformed},
      {"TCPIP0::127.0.0.1::SOCKET", ResourceKind::Malformed},
      {"TCPIP0::::5025::SOCKET", ResourceKind::Malformed},
      {"TCPIP0::127.0.0.1::0::SOCKET", ResourceKind::Malformed},
      {"TCPIP0::127.0.0.1::65536::SOCKET", ResourceKind::Malformed},
      {"TCPIP0::127.0.0.1::50x5::SOCKET", ResourceKind::Malformed},
      {"TCPIPX::127.0.0.1::5025::SOCKET", ResourceKind::Malformed},
      {"TCPIP0::my host::5025::SOCKET", ResourceKind::Malformed},
      {"USB0::1::2::3::RAW", ResourceKind::Malformed},
  };
  for (const auto& [name, kind] : cases) {
    SocketResource r;
    EXPECT_EQ(ParseResource(name, r), kind) << name;
  }
}

}  // namespace
}  // namespace marlin

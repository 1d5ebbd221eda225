// The three TCP clients of the host reach an amplifier that listens only on the IPv6 loopback.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "driver/marlin_error.h"
#include "host/gpib_service.h"
#include "host/lan_sockets_tcp.h"
#include "io/visa_status.h"
#include "platform/visa_builtin.h"
#include "sim/amplifier.h"
#include "sim/gateway_front.h"
#include "sim/tcp_front.h"

namespace marlin {
namespace {

using namespace std::chrono_literals;

constexpr const char* kIpv6Loopback = "::1";
constexpr int kGatewayAddress = 5;

struct Ports {
  std::uint16_t scpi;
  std::uint16_t gateway;
};

// The answer to "*IDN?" in the form each client hands it back.
using Identify = std::function<std::string(Ports, const std::shared_ptr<Clock>&)>;

std::string ByLanSocket(Ports ports, const std::shared_ptr<Clock>& clock) {
  TcpLanSockets lan(clock, {1s, 200ms, 1024});
  std::int32_t id = 0;
  bool ok = false;
  lan.Open(kIpv6Loopback, ports.scpi, id, ok);
  if (!ok) return "open failed: " + lan.LastError();
  std::string answer;
  lan.Query(id, "*IDN?\n", answer, ok);
  return ok ? answer : "query failed: " + lan.LastError();
}

std::string ByBuiltinVisa(Ports ports, const std::shared_ptr<Clock>& /*clock*/) {
  BuiltinVisa visa;
  ViSession rm = 0;
  ViSession vi = 0;
  std::uint32_t count = 0;
  std::string answer(256, '\0');
  const std::string resource = "TCPIP0::[::1]::" + std::to_string(ports.scpi) + "::SOCKET";
  if (visa.viOpenDefaultRM(rm) != visa_status::kSuccess ||
      visa.viOpen(rm, resource, 0, 2000, vi) != visa_status::kSuccess) {
    return "open failed: " + resource;
  }
  visa.viSetAttribute(vi, visa_attr::kTimeoutValue, 2000);
  visa.viWrite(vi, "*IDN?\n", 6, count);
  const ViStatus read = visa.viRead(vi, answer, 256, count);
  visa.viClose(rm);
  return read < 0 ? "read failed" : answer.substr(0, count);
}

std::string ByGpibGateway(Ports ports, const std::shared_ptr<Clock>& clock) {
  const std::string gateway = "prologix://[::1]:" + std::to_string(ports.gateway);
  auto gpib = MakeGpibService({{0, gateway}}, clock, StandardGpibBackends());
  std::int16_t handle = 0;
  gpib->GpibOpen(0, kGatewayAddress, 0, /*3 s*/ 12, 1, 0x0C0A, handle);
  if (handle <= 0) return "open failed: " + gpib->LastError();
  gpib->GpibWrite(handle, "*IDN?\n");
  std::string answer(100, ' ');
  gpib->GpibRead(handle, answer);
  return answer;
}

TEST(Ipv6Loopback, EachClientReachesAnAmplifierListeningOnlyThere) {
  auto clock = std::make_shared<VirtualClock>();
  auto amp = std::make_shared<sim::Amplifier>(sim::AmplifierConfig{}, clock);
  sim::TcpFront scpi(amp, kIpv6Loopback);
  sim::GatewayFront gateway({{kGatewayAddress, amp}}, kIpv6Loopback);
  const Ports ports{scpi.Port(), gateway.Port()};
  const std::pair<const char*, Identify> clients[] = {
      {"LAN socket service", ByLanSocket},
      {"built-in VISA layer", ByBuiltinVisa},
      {"GPIB gateway client", ByGpibGateway},
  };
  for (const auto& [client, identify] : clients) {
    try {
      EXPECT_THAT(identify(ports, clock), ::testing::StartsWith("Quellmarkfabrik,PA4400,"))
          << client;
    } catch (const MarlinError& e) {
      ADD_FAILURE() << client << ": " << e.Description();
    }
  }
}

}  // namespace
}  // namespace marlin

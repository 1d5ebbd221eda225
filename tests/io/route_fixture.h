#pragma once
// A driver object reaching a loopback peer by one of its three routes through the real
// stand-alone services: LAN sockets over TCP, the built-in VISA layer, the GPIB service with a
// gateway backend. Waits run on a virtual clock.
#include <memory>
#include <string>

#include "driver/cls_marlin.h"
#include "host/gpib_service.h"
#include "host/lan_sockets_tcp.h"
#include "host/standalone_devlist.h"
#include "host/thread_host.h"
#include "io/visa_binding.h"
#include "platform/visa_builtin.h"
#include "tests/support/host_fixture.h"
#include "tests/support/marlin_access.h"
#include "tests/support/scripted_instrument.h"

namespace marlin::testing {

enum class Route { Lan, Visa, Gpib };

inline const char* RouteName(Route route) {
  switch (route) {
    case Route::Lan:
      return "Lan";
    case Route::Visa:
      return "Visa";
    case Route::Gpib:
      return "Gpib";
  }
  return "?";
}

inline constexpr std::int32_t kGpibTenSeconds = 13;
inline constexpr std::int32_t kGpibHundredMs = 9;
inline constexpr std::int16_t kGpibAddress = 7;

// The lines a gateway receives for a device before its first command.
inline const std::string kGatewaySetup = "++mode 1\n++auto 0\n++eos 3\n++addr 7\n++eoi 1\n";

class RouteFixture : public HostFixture {
 protected:
  RouteFixture() {
    tools = Install(std::make_unique<VirtualTools>(*clock));
    Install(std::make_unique<StandaloneDevList>(nullptr, lan));
    host::Replace(visa);
    access.Name() = "AMP1";
    access.Status() = 1;
  }
  ~RouteFixture() override {
    amp.reset();  // its teardown closes what it holds, through the services still installed
  }

  // `port` is a raw SCPI socket for LAN and VISA, a gateway for GPIB.
  void Connect(Route route, std::uint16_t port, std::int32_t gpibTimeoutCode = kGpibTenSeconds) {
    const std::string loopback = "127.0.0.1";
    switch (route) {
      case Route::Lan: {
        bool ok = false;
        access.Interface() = route::kLan;
        host::ThreadContext()->DevList().LanOpen(loopback, port, 0, "TCP", access.LanSocket(), ok);
        ASSERT_TRUE(ok) << lan->LastError();
        break;
      }
      case Route::Visa: {
        access.Interface() = route::kVisa;
        ViSession rm = 0;
        ASSERT_EQ(visa->viOpenDefaultRM(rm), 0);
        ASSERT_EQ(visa->viOpen(rm, "TCPIP0::" + loopback + "::" + std::to_string(port) + "::SOCKET",
                               0, 10000, access.VisaSession()),
                  0);
        // As the connection check sets them.
        visa->viSetAttribute(access.VisaSession(), visa_attr::kTermCharEn, 1);
        visa->viSetAttribute(access.VisaSession(), visa_attr::kTermChar, '\n');
        visa->viSetAttribute(access.VisaSession(), visa_attr::kSuppressEndEn, 0);
        visa->viSetAttribute(access.VisaSession(), visa_attr::kTimeoutValue, 10000);
        break;
      }
      case Route::Gpib: {
        access.Interface() = route::kGpibFirst;
        gpib = Install(MakeGpibService({{0, "prologix://" + loopback + ":" + std::to_string(port)}},
                                       clock, StandardGpibBackends()));
        gpib->GpibOpen(0, kGpibAddress, 0, gpibTimeoutCode, 1, 0x0C0A, access.GpibHandle());
        ASSERT_GT(access.GpibHandle(), 0) << gpib->LastError();
        break;
      }
    }
  }

  void SetVisaTimeout(std::uint32_t ms) {
    visa->viSetAttribute(access.VisaSession(), visa_attr::kTimeoutValue, ms);
  }

  std::shared_ptr<VirtualClock> clock = std::make_shared<VirtualClock>();
  std::shared_ptr<TcpLanSockets> lan = std::make_shared<TcpLanSockets>(
      clock, TcpLanOptions{std::chrono::seconds(1), std::chrono::milliseconds(300)});
  std::shared_ptr<BuiltinVisa> visa = std::make_shared<BuiltinVisa>();
  VirtualTools* tools = nullptr;
  StandaloneGpib* gpib = nullptr;
  std::unique_ptr<clsMarlin> amp = std::make_unique<clsMarlin>(host::ThreadContext());
  MarlinTestAccess access{*amp};
};

}  // namespace marlin::testing

#pragma once
// A simulated amplifier reached the way users reach one: over loopback TCP (LAN and VISA routes)
// and through the GPIB gateway front (GPIB route), with the stand-alone host services of this
// thread and every wait on one virtual clock.
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "clock/clock.h"
#include "host/lan_sockets_tcp.h"
#include "io/visa_binding.h"
#include "sim/amplifier.h"
#include "sim/gateway_front.h"
#include "sim/tcp_front.h"
#include "tests/support/recording_trace.h"

namespace marlin::testing {

// Device names in the rig's device list.
inline constexpr const char* kLanDevice = "AMP_LAN";
inline constexpr const char* kVisaDevice = "AMP_VISA";
inline constexpr const char* kGpibDevice = "AMP_GPIB";          // through the gateway front
inline constexpr const char* kSimBoardDevice = "AMP_SIMBOARD";  // a "sim" GPIB board, in-process
inline constexpr int kRigGpibAddress = 7;

// A clock (virtual unless a time scale is given) that, before it sleeps, lets the simulator read
// every line sent so far.
class RigClock final : public Clock {
 public:
  RigClock(std::function<void()> settle, std::shared_ptr<Clock> inner)
      : inner_(std::move(inner)), settle_(std::move(settle)) {}
  Duration Now() const override { return inner_->Now(); }
  void SleepFor(Duration span) override {
    settle_();
    inner_->SleepFor(span);
  }
  Duration RealSpan(Duration span) const override { return inner_->RealSpan(span); }

 private:
  std::shared_ptr<Clock> inner_;
  std::function<void()> settle_;
};

struct TimedLine {
  double ms;  // on the virtual clock
  std::string text;
};

struct RigOptions {
  // When set, every route waits this long (real time) for an answer instead of the driver's
  // 10 s: for tests of silent or late amplifiers. 100 or 300 ms, the GPIB timeout steps.
  std::chrono::milliseconds answerTimeout{0};
  // 0: the virtual clock. Otherwise a real clock running this many times faster than real time,
  // for amplifiers whose answers come late in real time.
  double timeScale = 0;
};

class SimRig {
 public:
  explicit SimRig(sim::AmplifierConfig config = {}, RigOptions options = {});
  ~SimRig();

  // The lines the amplifier received since the last ClearTranscript, with their times.
  // Commands travel without an answer, so the simulator may still be reading the last of them:
  // these wait (a few seconds at most) until at least `atLeast` lines have arrived.
  std::vector<TimedLine> Received(std::size_t atLeast = 0) const;
  std::vector<std::string> ReceivedLines(std::size_t atLeast = 0) const;
  void ClearTranscript() { amp->ClearTranscript(); }
  // Waits (briefly, in real time) until the simulator has read every line sent so far.
  void Settle() const;
  // Connections the simulator still holds open.
  std::size_t Clients() const;

  std::shared_ptr<RigClock> clock;
  std::shared_ptr<sim::Amplifier> amp;
  std::shared_ptr<TcpLanSockets> lan;
  std::shared_ptr<VisaBinding> visa;  // the VISA layer the rig installed
  RecordingTrace* trace = nullptr;
  std::filesystem::path deviceList;

 private:
  std::atomic<std::size_t> linesSent_{0};
  std::atomic<std::size_t> linesReceived_{0};
  std::filesystem::path folder_;
  std::unique_ptr<sim::TcpFront> tcp_;
  std::unique_ptr<sim::GatewayFront> gateway_;
};

// Every route, for parameterised tests: one scenario body, the device (and so the route) a
// parameter. Instantiate with
//   INSTANTIATE_TEST_SUITE_P(Routes, Suite, ::testing::ValuesIn(kAllRoutes), RouteTestName);
inline const char* const kAllRoutes[] = {kLanDevice, kVisaDevice, kGpibDevice, kSimBoardDevice};

// "Lan", "Visa", "GpibGateway", "GpibSimBoard": a test name for a device of the rig.
std::string RouteLabel(const std::string& device);
inline std::string RouteTestName(const ::testing::TestParamInfo<const char*>& info) {
  return RouteLabel(info.param);
}

bool IsGpib(const std::string& device);
// The pause the transport makes between a query and its read on this device's route (VISA only).
double QueryPause(const std::string& device);

}  // namespace marlin::testing

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

#include "host/clock.h"
#include "host/lan_sockets_tcp.h"
#include "sim/amplifier.h"
#include "sim/gateway_front.h"
#include "sim/tcp_front.h"
#include "tests/support/recording_trace.h"

namespace marlin::testing {

// Device names in the rig's device list.
inline constexpr const char* kLanDevice = "AMP_LAN";
inline constexpr const char* kVisaDevice = "AMP_VISA";
inline constexpr const char* kGpibDevice = "AMP_GPIB";
inline constexpr int kRigGpibAddress = 7;

// A virtual clock that, before it jumps, lets the simulator read every line sent so far.
class RigClock final : public Clock {
 public:
  explicit RigClock(std::function<void()> settle) : settle_(std::move(settle)) {}
  Duration Now() const override { return inner_.Now(); }
  void SleepFor(Duration span) override {
    settle_();
    inner_.SleepFor(span);
  }
  Duration RealSpan(Duration span) const override { return inner_.RealSpan(span); }

 private:
  VirtualClock inner_;
  std::function<void()> settle_;
};

struct TimedLine {
  double ms;  // on the virtual clock
  std::string text;
};

class SimRig {
 public:
  explicit SimRig(sim::AmplifierConfig config = {});
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
  RecordingTrace* trace = nullptr;
  std::filesystem::path deviceList;

 private:
  std::atomic<std::size_t> linesSent_{0};
  std::atomic<std::size_t> linesReceived_{0};
  std::filesystem::path folder_;
  std::unique_ptr<sim::TcpFront> tcp_;
  std::unique_ptr<sim::GatewayFront> gateway_;
};

// Every route, for parameterised tests.
inline const char* const kAllRoutes[] = {kLanDevice, kVisaDevice, kGpibDevice};

}  // namespace marlin::testing

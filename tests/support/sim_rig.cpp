#include "tests/support/sim_rig.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "host/gpib_service.h"
#include "host/gpib_sim.h"
#include "host/real_wait.h"
#include "host/standalone_host.h"
#include "host/thread_host.h"
#include "io/visa_binding.h"
#include "platform/visa_builtin.h"
#include "tests/support/counting_routes.h"

namespace marlin::testing {
namespace {

std::filesystem::path FreshFolder() {
  static std::atomic<int> counter{0};
  auto folder = std::filesystem::temp_directory_path() /
                ("marlin-rig-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
  std::filesystem::create_directories(folder);
  return folder;
}

constexpr const char* kRigScheme = "rig";

// The GPIB timeout code of a timeout the rig offers; 0 keeps the driver's.
std::int32_t GpibTimeoutCode(std::chrono::milliseconds timeout) {
  using namespace std::chrono_literals;
  if (timeout == 0ms) return 0;
  if (timeout == 100ms) return 9;
  if (timeout == 300ms) return 10;
  throw std::invalid_argument("the rig's answer timeout must be 100 or 300 ms");
}

}  // namespace

std::string RouteLabel(const std::string& device) {
  if (device == kLanDevice) return "Lan";
  if (device == kVisaDevice) return "Visa";
  if (device == kGpibDevice) return "GpibGateway";
  if (device == kSimBoardDevice) return "GpibSimBoard";
  return "Unknown";
}

bool IsGpib(const std::string& device) {
  return device == kGpibDevice || device == kSimBoardDevice;
}

double QueryPause(const std::string& device) { return device == kVisaDevice ? 200 : 0; }

SimRig::SimRig(sim::AmplifierConfig config, RigOptions options) : folder_(FreshFolder()) {
  const std::int32_t gpibTimeoutCode = GpibTimeoutCode(options.answerTimeout);
  std::shared_ptr<Clock> inner;
  if (options.timeScale > 0) {
    inner = std::make_shared<RealClock>(options.timeScale);
  } else {
    inner = std::make_shared<VirtualClock>();
  }
  clock = std::make_shared<RigClock>([this] { Settle(); }, inner);
  amp = std::make_shared<sim::Amplifier>(std::move(config), clock);
  amp->SetTranscriptSink([this](const sim::TranscriptEntry& entry) {
    if (entry.direction == sim::Direction::Received) ++linesReceived_;
  });
  tcp_ = std::make_unique<sim::TcpFront>(amp);
  gateway_ = std::make_unique<sim::GatewayFront>(
      std::map<int, std::shared_ptr<sim::Amplifier>>{{kRigGpibAddress, amp}});
  const std::string port = std::to_string(tcp_->Port());
  deviceList = folder_ / "devices.toml";
  std::ofstream(deviceList) << "[gpib]\nboard0 = \"prologix://127.0.0.1:" << gateway_->Port()
                            << "\"\nboard1 = \"" << kRigScheme << ":amp\"\n\n[devices."
                            << kLanDevice << "]\ninterface = 50\n"
                            << "lan_address = \"127.0.0.1:" << port << "\"\n"
                            << "description = \"simulated, LAN\"\n\n[devices." << kVisaDevice
                            << "]\ninterface = 60\nvisa_resource = \"TCPIP0::127.0.0.1::" << port
                            << "::SOCKET\"\n\n[devices." << kGpibDevice
                            << "]\ninterface = 10\naddress = " << kRigGpibAddress << "\n\n[devices."
                            << kSimBoardDevice << "]\ninterface = 11\naddress = " << kRigGpibAddress
                            << "\n";

  TcpLanOptions lanOptions;
  if (options.answerTimeout.count() != 0) lanOptions.queryTimeout = options.answerTimeout;
  lan = std::make_shared<TcpLanSockets>(clock, lanOptions);
  StandaloneHostConfig host;
  host.deviceList = deviceList;
  host.clock = clock;
  host.lan = std::make_shared<CountingLan>(lan, linesSent_);
  host.waitWindowAllowed = false;
  auto sharedClock = clock;
  auto list = deviceList;
  GpibBackendKinds kinds = StandardGpibBackends();
  kinds.emplace(kRigScheme, [amp = amp](const std::string&, std::shared_ptr<Clock>) {
    return SimGpibBackendOf(amp);
  });
  host.makeGpib = [this, sharedClock, list, kinds, gpibTimeoutCode] {
    DeviceListFile file(list);
    return std::make_unique<CountingGpib>(
        MakeGpibService(file.Current().gpibBackends, sharedClock, kinds), linesSent_,
        gpibTimeoutCode);
  };
  BuiltinVisaOptions visaOptions;
  visaOptions.realSpan = [sharedClock](std::chrono::nanoseconds span) {
    return RealWait(*sharedClock, span);
  };
  visa = std::make_shared<CountingVisa>(std::make_shared<BuiltinVisa>(visaOptions), linesSent_,
                                        static_cast<std::uint32_t>(options.answerTimeout.count()));
  host.visa = visa;
  host::ResetThread();
  InstallHostServiceFactory(std::make_shared<StandaloneHostFactory>(host));
  auto recording = std::make_unique<RecordingTrace>();
  trace = recording.get();
  host::Replace(std::move(recording));
}

SimRig::~SimRig() {
  host::ResetThread();
  InstallHostServiceFactory(nullptr);
  gateway_->Stop();
  tcp_->Stop();
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

void SimRig::Settle() const {
  const std::size_t sent = linesSent_;
  for (int attempt = 0; attempt < 10000 && linesReceived_ < sent; ++attempt) {
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
}

std::size_t SimRig::Clients() const { return tcp_->ClientCount(); }

std::vector<TimedLine> SimRig::Received(std::size_t atLeast) const {
  Settle();
  std::vector<TimedLine> out;
  for (int attempt = 0; attempt < 500; ++attempt) {
    out.clear();
    for (const auto& e : amp->TranscriptEntries()) {
      if (e.direction == sim::Direction::Received) out.push_back({ToMilliseconds(e.time), e.text});
    }
    if (out.size() >= atLeast) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return out;
}

std::vector<std::string> SimRig::ReceivedLines(std::size_t atLeast) const {
  std::vector<std::string> out;
  for (const auto& line : Received(atLeast)) out.push_back(line.text);
  return out;
}

}  // namespace marlin::testing

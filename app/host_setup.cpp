#include "app/host_setup.h"

#include <cstdio>
#include <map>

#include "app/exit_codes.h"
#include "app/observed_host.h"
#include "driver/marlin_error.h"
#include "host/device_list_file.h"
#include "host/gpib_service.h"
#include "host/gpib_sim.h"
#include "host/lan_sockets_tcp.h"
#include "host/printable_text.h"
#include "host/standalone_host.h"
#include "host/thread_host.h"
#include "io/visa_status.h"

namespace marlin::cli {
namespace {

constexpr std::size_t kLongestAnswerShown = 1000;

std::string VisaStatusText(ViStatus status) {
  static const std::map<ViStatus, const char*> kNames{
      {visa_status::kErrorResourceNotFound, "resource not found"},
      {visa_status::kErrorInvalidResourceName, "invalid resource name"},
      {visa_status::kErrorTimeout, "timeout"},
      {visa_status::kErrorIo, "I/O error"},
      {visa_status::kErrorConnectionLost, "connection lost"},
      {visa_status::kErrorSystem, "system error"}};
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08X", static_cast<std::uint32_t>(status));
  const auto name = kNames.find(status);
  return std::string("VISA status ") + hex +
         (name == kNames.end() ? "" : std::string(" (") + name->second + ")");
}

}  // namespace

// The GPIB service this thread made, so a failed connection can say why.
struct HostSetup::GpibWitness {
  StandaloneGpib* service = nullptr;
  std::string failure;  // why the service could not be made
};

HostSetup::HostSetup(const HostPlan& plan)
    : lan_(std::make_shared<TcpLanSockets>(plan.clock)), gpib_(std::make_shared<GpibWitness>()) {
  StandaloneHostConfig config;
  config.deviceList = plan.deviceList;
  config.traceFile = plan.traceFile;
  config.traceLines = plan.traceLines;
  config.clock = plan.clock;
  config.lan = lan_;
  config.windowsVisa = platform::WindowsVisa::SystemLibraryElseBuiltin;
  if (plan.waitWindow) config.waitWindowAllowed = true;
  config.makeGpib = [path = plan.deviceList, clock = plan.clock,
                     witness = gpib_]() -> std::unique_ptr<HostGpib> {
    try {
      std::map<int, std::string> boards;
      if (!path.empty()) boards = DeviceListFile(path).Current().gpibBackends;
      auto service = MakeGpibService(boards, clock, GpibBackendsWithSim());
      witness->service = service.get();
      return service;
    } catch (const MarlinError& e) {
      witness->failure = e.Description();
      throw;
    }
  };
  std::shared_ptr<HostServiceFactory> factory;
  try {
    factory = std::make_shared<StandaloneHostFactory>(std::move(config));
  } catch (const MarlinError& e) {
    throw CliFailure(exit_code::kConfiguration, e.Description());
  }
  if (plan.tracker) {
    factory = std::make_shared<ObservedHostFactory>(factory, plan.tracker, plan.sliceMs);
  }
  factory_ = factory;
  sliceMs_ = plan.sliceMs;
  host::ResetThread();
  if (plan.install) {
    plan.install(std::move(factory));
    return;
  }
  InstallHostServiceFactory(std::move(factory));
  installedForProcess_ = true;
}

HostSetup::~HostSetup() {
  host::ResetThread();
  gpib_->service = nullptr;
  if (installedForProcess_) InstallHostServiceFactory(nullptr);
}

std::string HostSetup::WhyNotConnected(const clsMarlin::Snapshot& amp) const {
  std::string why;
  if (route::IsGpib(amp.Interface)) {
    why = gpib_->service ? gpib_->service->LastError() : gpib_->failure;
  } else if (amp.Interface == route::kLan) {
    why = lan_->LastError();
  } else if (amp.Interface == route::kVisa) {
    if (amp.VisaStatus != 0) why = VisaStatusText(amp.VisaStatus);
  } else {
    return "interface code " + std::to_string(amp.Interface) +
           " is no route (10 to 13 GPIB, 50 LAN, 60 VISA)";
  }
  // The backend's own words may quote the list or the instrument.
  if (!why.empty()) return Printable(why, kLongestAnswerShown);
  return "the instrument did not identify itself as an amplifier of the family";
}

std::string RouteText(const clsMarlin::Snapshot& amp) {
  if (route::IsGpib(amp.Interface)) {
    return "GPIB board " + std::to_string(amp.Interface - route::kGpibFirst) + " address " +
           std::to_string(amp.Address);
  }
  if (amp.Interface == route::kLan) {
    return "LAN " + Printable(Capped(amp.LanPars.RemoteHost)) + ":" +
           std::to_string(amp.LanPars.RemotePort);
  }
  if (amp.Interface == route::kVisa) return "VISA " + Printable(Capped(amp.VisaResource));
  return "interface " + std::to_string(amp.Interface);
}

std::string AnswerText(const std::string& answer) {
  std::string text = answer.substr(0, answer.find('\0'));
  while (!text.empty() && (text.back() == ' ' || text.back() == '\r' || text.back() == '\n' ||
                           text.back() == '\t')) {
    text.pop_back();
  }
  return Printable(text, kLongestAnswerShown);
}

}  // namespace marlin::cli

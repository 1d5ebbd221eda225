#include "host/gpib_sim.h"

#include <map>
#include <stdexcept>

#include "host/gpib_service.h"
#include "sim/amplifier.h"
#include "sim/inprocess_link.h"

namespace marlin {
namespace {

class SimDevice final : public GpibDevice {
 public:
  SimDevice(std::shared_ptr<sim::Amplifier> amp, const GpibDeviceSettings& settings)
      : link_(std::move(amp), "gpib:" + std::to_string(settings.primary)), settings_(settings) {}

  void Write(const std::string& bytes) override {
    if (!link_.Write(bytes, settings_.eoiOnLastByte)) Dropped();
  }

  std::string Read(std::size_t limit) override {
    auto answer = link_.Read(settings_.timeout);
    if (!link_.Connected()) Dropped();
    if (!answer) {
      throw GpibFailure(GpibFailure::Kind::Timeout,
                        "no answer within " +
                            std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(
                                               settings_.timeout)
                                               .count()) +
                            " ms");
    }
    if (answer->size() > limit) answer->resize(limit);
    return *answer;
  }

  void GoToLocal() override {}

 private:
  [[noreturn]] static void Dropped() {
    throw GpibFailure(GpibFailure::Kind::Unavailable, "the simulated device dropped off the bus");
  }

  sim::InProcessLink link_;
  GpibDeviceSettings settings_;
};

class SimBackend final : public GpibBackend {
 public:
  SimBackend(sim::AmplifierConfig config, std::shared_ptr<Clock> clock)
      : config_(std::move(config)), clock_(std::move(clock)) {}
  explicit SimBackend(std::shared_ptr<sim::Amplifier> everywhere)
      : everywhere_(std::move(everywhere)) {}

  std::unique_ptr<GpibDevice> Open(const GpibDeviceSettings& settings) override {
    if (everywhere_) return std::make_unique<SimDevice>(everywhere_, settings);
    auto& amp = amplifiers_[settings.primary];
    if (!amp) amp = std::make_shared<sim::Amplifier>(config_, clock_);
    return std::make_unique<SimDevice>(amp, settings);
  }

 private:
  sim::AmplifierConfig config_;
  std::shared_ptr<Clock> clock_;
  // One amplifier per address, kept while the service lives so its state survives a reconnect.
  std::map<int, std::shared_ptr<sim::Amplifier>> amplifiers_;
  std::shared_ptr<sim::Amplifier> everywhere_;
};

}  // namespace

std::unique_ptr<GpibBackend> MakeSimGpibBackend(const std::string& model,
                                                std::shared_ptr<Clock> clock) {
  sim::AmplifierConfig config;
  config.model = model;
  sim::Validate(config);
  return std::make_unique<SimBackend>(std::move(config), std::move(clock));
}

std::unique_ptr<GpibBackend> SimGpibBackendOf(std::shared_ptr<sim::Amplifier> amp) {
  if (!amp) throw std::invalid_argument("the sim backend needs an amplifier");
  return std::make_unique<SimBackend>(std::move(amp));
}

GpibBackendKinds GpibBackendsWithSim() {
  GpibBackendKinds kinds = StandardGpibBackends();
  kinds.emplace(kSimScheme, &MakeSimGpibBackend);
  return kinds;
}

}  // namespace marlin

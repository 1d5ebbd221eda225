#pragma once
// The demo's amplifier: a simulator in this process on the host's clock, reachable over
// loopback on the chosen route, and a temporary device list that names it.
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/cli_options.h"
#include "app/simulated_amplifier.h"
#include "clock/clock.h"

namespace marlin::cli {

class DemoSimulator {
 public:
  static constexpr const char* kDevice = "DEMO";

  // Throws std::exception when the simulator cannot listen or the folder cannot be made.
  // `faults`: the simulator's fault specifications (marlin-sim --fault), already checked.
  DemoSimulator(const std::string& model, Route route, const std::vector<std::string>& faults,
                std::shared_ptr<Clock> clock);
  ~DemoSimulator();
  DemoSimulator(const DemoSimulator&) = delete;
  DemoSimulator& operator=(const DemoSimulator&) = delete;

  const std::filesystem::path& DeviceListPath() const { return file_; }
  const std::filesystem::path& Folder() const { return folder_; }
  const std::string& DeviceListText() const { return text_; }
  // Where the simulator listens, for people.
  std::string Listening() const { return amp_.Listening(); }

 private:
  SimulatedAmplifier amp_;  // first: a simulator that cannot start leaves no folder behind
  std::filesystem::path folder_;
  std::filesystem::path file_;
  std::string text_;
};

}  // namespace marlin::cli

#include "app/demo_simulator.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace marlin::cli {
namespace {

std::filesystem::path MakeFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "marlinctl-demo-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("cannot make a temporary folder for the demo's device list");
  }
  return pattern;
}

}  // namespace

DemoSimulator::DemoSimulator(const std::string& model, Route route,
                             const std::vector<std::string>& faults, std::shared_ptr<Clock> clock)
    : amp_(model, route, faults, std::move(clock)),
      folder_(MakeFolder()),
      file_(folder_ / "devices.toml") {
  text_ = amp_.DeviceEntry(kDevice, "Simulated " + model + " (marlinctl demo)");
  std::ofstream out(file_, std::ios::binary | std::ios::trunc);
  out << text_;
  out.close();
  if (!out) throw std::runtime_error("cannot write the demo's device list " + file_.string());
}

DemoSimulator::~DemoSimulator() {
  amp_.Stop();
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

}  // namespace marlin::cli

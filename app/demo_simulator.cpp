#include "app/demo_simulator.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "platform/temporary_folder.h"

namespace marlin::cli {
namespace {

std::filesystem::path MakeFolder() {
  try {
    return platform::MakeTemporaryFolder("marlinctl-demo-");
  } catch (const std::runtime_error& e) {
    throw std::runtime_error(std::string("the demo's device list: ") + e.what());
  }
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

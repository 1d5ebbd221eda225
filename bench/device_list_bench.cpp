// The device list at lab scale: parsing it, looking a device up through the file (which reads
// the file and compares it with the last one parsed) and storing one repaired LAN address.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "host/device_list.h"
#include "host/device_list_file.h"

namespace {

// `amplifier` names the kind in each description: "Amplifier", or "Verst\u00e4rker" for a list
// beyond ASCII, which the parser reads twice (host/toml_mask.h).
std::string LabList(int devices, const std::string& amplifier = "Amplifier") {
  std::string text = "# Lab devices\n[host]\nlowest_frequency = 80e6\n";
  for (int i = 0; i < devices; ++i) {
    const std::string n = std::to_string(i);
    text += "\n# bench " + n + "\n[devices.AMP" + n + "]\ninterface = 50\nlan_address = \"192.0." +
            std::to_string(i % 250) + "." + std::to_string(i % 200) + ":5025\"\ndescription = \"" +
            amplifier + " 80 MHz - 6 GHz, rack " + n + "\"\n";
  }
  return text;
}

class ListFile {
 public:
  explicit ListFile(int devices) {
    std::string pattern = (std::filesystem::temp_directory_path() / "marlin-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("no temporary folder");
    folder_ = pattern;
    path_ = folder_ / "devices.toml";
    std::ofstream(path_, std::ios::binary) << LabList(devices);
  }
  ~ListFile() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path folder_, path_;
};

void BM_ParseDeviceList(benchmark::State& state) {
  const std::string text = LabList(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(marlin::ParseDeviceList(text, "devices.toml"));
  state.counters["bytes"] = static_cast<double>(text.size());
}

void BM_ParseDeviceListBeyondAscii(benchmark::State& state) {
  const std::string text = LabList(static_cast<int>(state.range(0)), "Verst\u00e4rker");
  for (auto _ : state) benchmark::DoNotOptimize(marlin::ParseDeviceList(text, "devices.toml"));
}

void BM_LookUpDevice(benchmark::State& state) {
  const int devices = static_cast<int>(state.range(0));
  ListFile file(devices);
  marlin::DeviceListFile list(file.Path());
  const std::string name = "AMP" + std::to_string(devices / 2);
  list.Current();  // parsed once, as a running host has it; each look-up reads and compares
  for (auto _ : state) benchmark::DoNotOptimize(list.Device(name));
}

void BM_WriteOneRepair(benchmark::State& state) {
  const int devices = static_cast<int>(state.range(0));
  ListFile file(devices);
  marlin::DeviceListFile list(file.Path());
  const std::string name = "AMP" + std::to_string(devices / 2);
  int port = 1;
  for (auto _ : state) list.SetLanAddress(name, "192.0.2.77:" + std::to_string(port++ % 65535 + 1));
}

BENCHMARK(BM_ParseDeviceList)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseDeviceListBeyondAscii)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LookUpDevice)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteOneRepair)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

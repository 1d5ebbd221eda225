// A writer of one device list for the tests that run several at once: stores "<device>:<n>" as
// the LAN address of each device named, in turn, and prints "ok <device>" once a store returned.
//   device_list_writer FILE ROUNDS [--die-at N] DEVICE...
// With --die-at N the process kills itself during its N-th store, after the new list is written
// to the temporary file and before it replaces the old one.
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "driver/marlin_error.h"
#include "host/device_list_file.h"

int main(int argc, char** argv) {
  if (argc < 4) {
    std::cerr << "usage: device_list_writer FILE ROUNDS [--die-at N] DEVICE...\n";
    return 2;
  }
  const std::string file = argv[1];
  const int rounds = std::atoi(argv[2]);
  int dieAt = -1;
  std::vector<std::string> devices;
  for (int i = 3; i < argc; ++i) {
    if (std::string(argv[i]) == "--die-at" && i + 1 < argc) {
      dieAt = std::atoi(argv[++i]);
    } else {
      devices.emplace_back(argv[i]);
    }
  }
  int stores = 0;
  marlin::DeviceListFile list(file, [&](const std::filesystem::path&) {
    if (stores == dieAt) std::raise(SIGKILL);
  });
  try {
    for (int round = 1; round <= rounds; ++round) {
      for (const std::string& device : devices) {
        ++stores;
        list.SetLanAddress(device, device + ":" + std::to_string(round));
        std::cout << "ok " << device << ":" << round << std::endl;
      }
    }
  } catch (const marlin::MarlinError& e) {
    std::cerr << "error " << e.Number() << ": " << e.Description() << "\n";
    return 1;
  }
  return 0;
}

#pragma once
// What the end-to-end tests share: the two executables, a simulator process on loopback with a
// transcript, a folder for device lists and traces, and JSON Lines files read back.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "tests/app/child_process.h"
#include "tests/host/temp_folder.h"

namespace marlin::testing {

inline const std::string kMarlinctl = MARLINCTL_PATH;
inline const std::string kMarlinSim = MARLIN_SIM_PATH;
// Both processes run their clocks this much faster than real time, so that the driver's fixed
// waits (seconds each) take less. A query's timeout shrinks with it (10 s become 500 ms at 20),
// and a busy machine must still answer within it: at 100 a loaded machine missed 100 ms. The
// panel's tests, which wait through many switches, set 50 (tests/app/panel/CMakeLists.txt).
#ifndef MARLIN_TEST_TIME_SCALE
#define MARLIN_TEST_TIME_SCALE "20"
#endif
inline const std::string kTimeScale = MARLIN_TEST_TIME_SCALE;

// marlin-sim on free loopback ports, writing its transcript; told to quit when the test ends.
class SimProcess {
 public:
  SimProcess(const std::vector<std::string>& options, const std::filesystem::path& transcript);
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  int Port() const { return port_; }
  int GatewayPort() const { return gatewayPort_; }
  // One line for the simulator's console (fault SPEC, clear, ...); returns its answer.
  std::string Console(const std::string& line);
  // Transcript entries received by the amplifier ("dir" "in"), in order.
  std::vector<nlohmann::json> Received() const;

 private:
  mutable ChildProcess process_;
  std::filesystem::path transcript_;
  int port_ = 0;
  int gatewayPort_ = 0;
};

std::vector<nlohmann::json> JsonLines(const std::filesystem::path& file);
std::vector<std::string> Lines(const std::string& text);
// The texts of transcript entries, for matchers.
std::vector<std::string> Texts(const std::vector<nlohmann::json>& entries);

// A device list for one amplifier named AMP1 on one route.
enum class TestRoute { Lan, Visa, Gpib };
std::string DeviceListFor(TestRoute route, const SimProcess& sim, int gpibAddress = 3);
std::string PeerPrefix(TestRoute route);

}  // namespace marlin::testing

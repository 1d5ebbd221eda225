#include "tests/app/e2e_fixture.h"

#include <chrono>
#include <sstream>

namespace marlin::testing {
namespace {

using namespace std::chrono_literals;

std::vector<std::string> SimArguments(const std::vector<std::string>& options,
                                      const std::filesystem::path& transcript) {
  std::vector<std::string> args{kMarlinSim,     "--port",           "0", "--time-scale", kTimeScale,
                                "--transcript", transcript.string()};
  args.insert(args.end(), options.begin(), options.end());
  return args;
}

int PortAfter(const std::string& line, const std::string& marker) {
  const std::size_t at = line.find(marker);
  if (at == std::string::npos) return 0;
  return std::stoi(line.substr(line.rfind(':') + 1));
}

}  // namespace

SimProcess::SimProcess(const std::vector<std::string>& options,
                       const std::filesystem::path& transcript)
    : process_(SimArguments(options, transcript)), transcript_(transcript) {
  for (;;) {
    const std::optional<std::string> line = process_.ReadLine(20s);
    if (!line) {
      ADD_FAILURE() << "marlin-sim did not start: " << process_.Stderr();
      return;
    }
    if (line->find("ready") != std::string::npos) return;
    if (int port = PortAfter(*line, "GPIB gateway listening on"); port != 0) {
      gatewayPort_ = port;
    } else if (int amp = PortAfter(*line, " listening on "); amp != 0 && port_ == 0) {
      port_ = amp;
    }
  }
}

SimProcess::~SimProcess() {
  process_.Write("quit\n");
  process_.Finish(20s);
}

std::string SimProcess::Console(const std::string& line) {
  process_.Write(line + "\n");
  return process_.ReadLine(20s).value_or("<no answer>");
}

std::vector<nlohmann::json> SimProcess::Received() const {
  std::vector<nlohmann::json> received;
  for (nlohmann::json& entry : JsonLines(transcript_)) {
    if (entry.value("dir", "") == "in") received.push_back(std::move(entry));
  }
  return received;
}

std::vector<nlohmann::json> JsonLines(const std::filesystem::path& file) {
  std::vector<nlohmann::json> entries;
  for (const std::string& line : Lines(TempFolder::Read(file))) {
    entries.push_back(nlohmann::json::parse(line));
  }
  return entries;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> Texts(const std::vector<nlohmann::json>& entries) {
  std::vector<std::string> texts;
  for (const nlohmann::json& e : entries) texts.push_back(e.value("text", ""));
  return texts;
}

std::string DeviceListFor(TestRoute route, const SimProcess& sim, int gpibAddress) {
  const std::string loopback = "127.0.0.1";
  switch (route) {
    case TestRoute::Lan:
      return "[devices.AMP1]\ninterface = 50\nlan_address = \"" + loopback + ":" +
             std::to_string(sim.Port()) + "\"\ndescription = \"Bench amplifier\"\n";
    case TestRoute::Visa:
      return "[devices.AMP1]\ninterface = 60\nvisa_resource = \"TCPIP0::" + loopback +
             "::" + std::to_string(sim.Port()) + "::SOCKET\"\ndescription = \"Bench amplifier\"\n";
    case TestRoute::Gpib:
      return "[gpib]\nboard0 = \"prologix://" + loopback + ":" + std::to_string(sim.GatewayPort()) +
             "\"\n[devices.AMP1]\ninterface = 10\naddress = " + std::to_string(gpibAddress) +
             "\ndescription = \"Bench amplifier\"\n";
  }
  return {};
}

std::string PeerPrefix(TestRoute route) { return route == TestRoute::Gpib ? "gpib:" : "tcp:"; }

}  // namespace marlin::testing

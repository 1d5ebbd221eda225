// marlin-sim: simulated amplifiers on SCPI sockets, optionally behind a GPIB gateway, until
// Ctrl-C. Standard input takes fault changes at run time.
#include <asio.hpp>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <mutex>
#include <sstream>
#include <vector>

#include "sim/amplifier.h"
#include "sim/gateway_front.h"
#include "sim/options.h"
#include "sim/tcp_front.h"

#if defined(ASIO_HAS_POSIX_STREAM_DESCRIPTOR)
#include <unistd.h>
#endif

namespace {

using namespace marlin;
using namespace marlin::sim;

constexpr std::string_view kPrefix = "marlin-sim: ";
constexpr std::string_view kConsoleHelp =
    "commands: fault SPEC | clear | state | select N | help | quit";

struct Running {
  std::vector<std::shared_ptr<Amplifier>> amps;
  std::vector<std::unique_ptr<TcpFront>> fronts;
  std::unique_ptr<GatewayFront> gateway;
  std::size_t selected = 0;
};

std::string Describe(const Amplifier& amp) {
  return amp.Config().model + " serial " + amp.Config().serial;
}

std::string StateLine(const Amplifier& amp) {
  const AmplifierSnapshot s = amp.Snapshot();
  std::ostringstream out;
  out << Describe(amp) << ": power " << (s.powerOn ? "on" : "off") << ", band path " << s.bandPath
      << ", RF " << (s.rfOn ? "on" : "off") << (s.changing ? " (changing)" : "") << ", lock "
      << s.lockOwner << ", LAN timeout " << s.lanTimeoutActive
      << (s.lanTimeoutPending.empty() ? "" : " (" + s.lanTimeoutPending + " after power-on)")
      << ", " << s.errors.size() << " error(s) queued" << (s.fault ? ", fault latched" : "");
  return out.str();
}

// One console line; false asks to quit.
bool Console(Running& running, const std::string& line) {
  std::istringstream words(line);
  std::string command, argument;
  words >> command >> argument;
  Amplifier& amp = *running.amps[running.selected];
  try {
    if (command.empty()) return true;
    if (command == "quit") return false;
    if (command == "help") {
      std::cout << kConsoleHelp << std::endl;
    } else if (command == "state") {
      std::cout << StateLine(amp) << std::endl;
    } else if (command == "clear") {
      amp.SetFaults({});
      std::cout << Describe(amp) << ": answer faults cleared" << std::endl;
    } else if (command == "fault") {
      Faults faults = amp.CurrentFaults();
      std::optional<std::string> lockOwner;
      ApplyFaultSpec(argument, faults, lockOwner);
      if (lockOwner) amp.SetLockOwner(*lockOwner);
      amp.SetFaults(std::move(faults));
      std::cout << Describe(amp) << ": fault " << argument << " set" << std::endl;
    } else if (command == "select") {
      std::size_t n = 0;
      std::istringstream(argument) >> n;
      if (n < 1 || n > running.amps.size())
        throw std::invalid_argument("select \"" + argument + "\": expected 1 to " +
                                    std::to_string(running.amps.size()));
      running.selected = n - 1;
      std::cout << "selected " << Describe(*running.amps[running.selected]) << std::endl;
    } else {
      std::cout << "unknown command \"" << command << "\"; " << kConsoleHelp << std::endl;
    }
  } catch (const std::exception& e) {
    std::cout << "error: " << e.what() << std::endl;
  }
  return true;
}

// Makes the amplifiers and their fronts as the options say and tells where each listens.
// Throws what cannot be started.
void Start(const SimOptions& options, Running& running) {
  auto clock = std::make_shared<RealClock>(options.timeScale);
  std::function<void(const TranscriptEntry&)> record;
  if (!options.transcriptPath.empty()) {
    auto transcript = std::make_shared<std::ofstream>(options.transcriptPath, std::ios::app);
    if (!*transcript)
      throw std::runtime_error("transcript file \"" + options.transcriptPath +
                               "\": cannot be opened for writing");
    record = [transcript, mutex = std::make_shared<std::mutex>()](const TranscriptEntry& entry) {
      std::lock_guard lock(*mutex);
      *transcript << ToJsonLine(entry) << '\n' << std::flush;
    };
  }
  std::map<int, std::shared_ptr<Amplifier>> byAddress;
  for (const auto& spec : options.amplifiers) {
    auto amp = std::make_shared<Amplifier>(spec.config, clock);
    if (record) amp->SetTranscriptSink(record);
    running.fronts.push_back(
        std::make_unique<TcpFront>(amp, options.bindAddress, spec.port, options.idleTimeout));
    std::cout << kPrefix << Describe(*amp) << " listening on " << options.bindAddress << ":"
              << running.fronts.back()->Port() << std::endl;
    byAddress[spec.gpibAddress] = amp;
    running.amps.push_back(std::move(amp));
  }
  if (options.gatewayPort) {
    running.gateway = std::make_unique<GatewayFront>(byAddress, options.bindAddress,
                                                     *options.gatewayPort, options.idleTimeout);
    std::cout << kPrefix << "GPIB gateway listening on " << options.bindAddress << ":"
              << running.gateway->Port() << std::endl;
    for (const auto& [address, amp] : byAddress)
      std::cout << kPrefix << "GPIB address " << address << ": " << Describe(*amp) << std::endl;
  }
}

// Serves until a signal, or until the console (standard input, where it can be waited on, not
// /dev/null or a plain file) says quit.
void ServeUntilStopped(Running& running) {
  asio::io_context io;
  asio::signal_set signals(io, SIGINT, SIGTERM);
  signals.async_wait([&](asio::error_code, int) { io.stop(); });
#if defined(ASIO_HAS_POSIX_STREAM_DESCRIPTOR)
  asio::posix::stream_descriptor input(io);
  asio::error_code noConsole;
  input.assign(::dup(STDIN_FILENO), noConsole);
  asio::streambuf buffer(4096);
  std::function<void()> readLine = [&] {
    asio::async_read_until(input, buffer, '\n', [&](asio::error_code ec, std::size_t n) {
      if (ec) return;  // end of input: keep serving until a signal
      std::string line(asio::buffers_begin(buffer.data()), asio::buffers_begin(buffer.data()) + n);
      buffer.consume(n);
      if (!line.empty() && line.back() == '\n') line.pop_back();
      if (!Console(running, line)) {
        io.stop();
        return;
      }
      readLine();
    });
  };
  if (!noConsole) readLine();
#endif
  io.run();
}

}  // namespace

int main(int argc, char** argv) {
  SimOptions options;
  try {
    options = ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& e) {
    std::cerr << kPrefix << e.what() << "\n" << Usage();
    return 2;
  }
  if (options.help) {
    std::cout << Usage();
    return 0;
  }
  Running running;
  try {
    Start(options, running);
  } catch (const std::exception& e) {
    std::cerr << kPrefix << e.what() << std::endl;
    return 1;
  }
  std::cout << kPrefix << "ready (Ctrl-C ends)" << std::endl;
  ServeUntilStopped(running);
  if (running.gateway) running.gateway->Stop();
  for (auto& front : running.fronts) front->Stop();
  std::cout << kPrefix << "stopped" << std::endl;
  return 0;
}

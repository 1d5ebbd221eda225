// The soft front panel as a process on loopback: how long GET /api/devices takes for 64 devices
// with no and with 200 slow clients holding connections (each sending a byte every 3 s and
// opening a new connection when the panel cuts it off), and how long the panel takes to end
// after a first signal when idle and after a second one while a switch runs.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "tests/app/child_process.h"

namespace {

using namespace std::chrono_literals;
using marlin::testing::ChildProcess;
using SteadyClock = std::chrono::steady_clock;

const std::string kMarlinctl = MARLINCTL_PATH;
const std::string kMarlinSim = MARLIN_SIM_PATH;

double Ms(SteadyClock::duration span) {
  return std::chrono::duration<double, std::milli>(span).count();
}

int Connect(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    throw std::runtime_error("cannot connect to port " + std::to_string(port));
  }
  return fd;
}

// One request on a connection of its own; the whole answer.
std::string Exchange(int port, const std::string& request) {
  const int fd = Connect(port);
  ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  std::string answer;
  char piece[65536];
  for (ssize_t got; (got = ::recv(fd, piece, sizeof piece, 0)) > 0;) {
    answer.append(piece, static_cast<std::size_t>(got));
  }
  ::close(fd);
  return answer;
}

std::filesystem::path Folder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "panel-bench-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("no temporary folder");
  return pattern;
}

class Panel {
 public:
  Panel(const std::string& deviceList, const std::vector<std::string>& options = {})
      : folder_(Folder()), process_([&] {
          std::ofstream(folder_ / "devices.toml") << deviceList;
          std::vector<std::string> args{
              kMarlinctl, "panel", "--devices", (folder_ / "devices.toml").string(), "--port", "0"};
          args.insert(args.end(), options.begin(), options.end());
          return args;
        }()) {
    const std::string line = process_.ReadLine(20s).value_or("");
    const std::size_t colon = line.rfind(':');
    const std::size_t mark = line.find("/?token=");
    if (colon == std::string::npos || mark == std::string::npos) {
      throw std::runtime_error("the panel did not start: " + line);
    }
    port_ = std::stoi(line.substr(colon + 1));
    token_ = line.substr(mark + 8);
  }
  ~Panel() {
    if (!ended_) End(SIGKILL);
    std::filesystem::remove_all(folder_);
  }
  Panel(const Panel&) = delete;
  Panel& operator=(const Panel&) = delete;

  // Sends `signal` and waits for the end; the exit status.
  int End(int signal) {
    process_.Signal(signal);
    ended_ = true;
    return process_.Finish(20s);
  }
  void Signal(int signal) { process_.Signal(signal); }
  std::optional<std::string> ReadLine() { return process_.ReadLine(20s); }

  std::string Request(const std::string& method, const std::string& path,
                      const std::string& body = "") const {
    return method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port_) +
           "\r\nX-Marlin-Token: " + token_ + "\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
  }
  int Port() const { return port_; }

 private:
  std::filesystem::path folder_;
  ChildProcess process_;
  int port_ = 0;
  std::string token_;
  bool ended_ = false;
};

std::string Unreachable(int count) {
  std::string list;
  for (int i = 0; i < count; ++i) {
    list += "[devices.AMP" + std::to_string(i) +
            "]\ninterface = 60\nvisa_resource = \"TCPIP0::127.0.0.1::1::SOCKET\"\n\n";
  }
  return list;
}

// `count` connections that each began a request and add a byte every 3 s; one that the panel
// closes is opened again at once.
class SlowClients {
 public:
  SlowClients(int port, int count) : port_(port) {
    for (int i = 0; i < count; ++i) Open();
    thread_ = std::thread([this] { Keep(); });
  }
  ~SlowClients() {
    leaving_ = true;
    thread_.join();
    for (const Client& c : clients_) ::close(c.fd);
  }
  int Reopened() const { return reopened_; }

 private:
  struct Client {
    int fd;
    SteadyClock::time_point lastByte;
  };
  void Open() {
    const int fd = Connect(port_);
    ::send(fd, "G", 1, MSG_NOSIGNAL);
    clients_.push_back({fd, SteadyClock::now()});
  }
  void Keep() {
    while (!leaving_) {
      std::this_thread::sleep_for(50ms);
      for (Client& c : clients_) {
        pollfd p{c.fd, POLLIN, 0};
        if (::poll(&p, 1, 0) > 0) {  // answered (408) or closed: a new one takes its place
          ::close(c.fd);
          c.fd = Connect(port_);
          ::send(c.fd, "G", 1, MSG_NOSIGNAL);
          c.lastByte = SteadyClock::now();
          ++reopened_;
        } else if (SteadyClock::now() - c.lastByte >= 3s) {
          ::send(c.fd, "E", 1, MSG_NOSIGNAL);
          c.lastByte = SteadyClock::now();
        }
      }
    }
  }

  int port_;
  std::vector<Client> clients_;
  std::atomic<bool> leaving_{false};
  std::atomic<int> reopened_{0};
  std::thread thread_;
};

void BM_DeviceListWithSlowClients(benchmark::State& state) {
  static const Panel panel(Unreachable(64));
  SlowClients slow(panel.Port(), static_cast<int>(state.range(0)));
  std::this_thread::sleep_for(500ms);  // all of them connected and waiting
  const std::string request = panel.Request("GET", "/api/devices");
  double longest = 0;
  for (auto _ : state) {
    const auto start = SteadyClock::now();
    const std::string answer = Exchange(panel.Port(), request);
    longest = std::max(longest, Ms(SteadyClock::now() - start));
    if (answer.rfind("HTTP/1.1 200", 0) != 0) state.SkipWithError("GET /api/devices failed");
  }
  state.counters["slow_clients"] = static_cast<double>(state.range(0));
  state.counters["longest_ms"] = longest;
  state.counters["slow_reopened"] = slow.Reopened();
}
BENCHMARK(BM_DeviceListWithSlowClients)
    ->Arg(0)
    ->Arg(200)
    ->MinTime(5)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// How long `end` takes, as the iteration's time.
template <typename End>
void TimeIteration(benchmark::State& state, End end) {
  const auto start = SteadyClock::now();
  end();
  state.SetIterationTime(std::chrono::duration<double>(SteadyClock::now() - start).count());
}

// 64 devices, none connected: from the first SIGTERM to the process's end.
void BM_EndOnFirstSignalWhenIdle(benchmark::State& state) {
  for (auto _ : state) {
    Panel panel(Unreachable(64));
    TimeIteration(state, [&] {
      if (panel.End(SIGTERM) != 0) state.SkipWithError("the panel did not end with 0");
    });
  }
}
BENCHMARK(BM_EndOnFirstSignalWhenIdle)
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// A switch that never ends (the band path never arrives) and a first SIGTERM that waits for
// it: from the second SIGTERM to the process's end.
void BM_EndOnSecondSignalDuringASwitch(benchmark::State& state) {
  for (auto _ : state) {
    ChildProcess sim(
        {kMarlinSim, "--model", "PA4520", "--power", "on", "--port", "0", "--fault", "band-stuck"});
    int simPort = 0;
    for (std::optional<std::string> line; simPort == 0 && (line = sim.ReadLine(20s));) {
      if (line->find("listening on") != std::string::npos) {
        simPort = std::stoi(line->substr(line->rfind(':') + 1));
      }
    }
    Panel panel("[devices.AMP1]\ninterface = 50\nlan_address = \"127.0.0.1:" +
                std::to_string(simPort) + "\"\n");
    Exchange(panel.Port(), panel.Request("POST", "/api/devices/AMP1/connect"));
    const int switching = Connect(panel.Port());
    const std::string operate =
        panel.Request("POST", "/api/devices/AMP1/state", R"({"state": 3, "bandpath": 5})");
    ::send(switching, operate.data(), operate.size(), MSG_NOSIGNAL);
    while (Exchange(panel.Port(), panel.Request("GET", "/api/devices")).find("\"busy\":true") ==
           std::string::npos) {
      std::this_thread::sleep_for(10ms);
    }
    panel.Signal(SIGTERM);
    panel.ReadLine();  // "stopping once the running actions have ended"
    TimeIteration(state, [&] {
      if (panel.End(SIGTERM) != 128 + SIGTERM) state.SkipWithError("not ended at once");
    });
    ::close(switching);
    sim.Write("quit\n");
    sim.Finish(5s);
  }
}
BENCHMARK(BM_EndOnSecondSignalDuringASwitch)
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

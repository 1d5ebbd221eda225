// One identification query's round trip against the simulator's SCPI socket on loopback: through
// ReadCmdResponse on the LAN route and on the VISA route with the built-in layer (WaitTime 0),
// each against a bare socket client on the same server. Prints each route's time as a multiple
// of the bare socket's; the goal is at most 1.1.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <iostream>
#include <map>
#include <memory>
#include <stdexcept>

#include "driver/cls_marlin.h"
#include "host/lan_sockets_tcp.h"
#include "host/standalone_devlist.h"
#include "host/thread_host.h"
#include "io/visa_binding.h"
#include "io/visa_status.h"
#include "platform/visa_builtin.h"
#include "sim/amplifier.h"
#include "sim/tcp_front.h"
#include "tests/support/marlin_access.h"

namespace marlin {
namespace {

constexpr const char* kQuery = "*IDN?\r\n";
constexpr const char* kRatio = "ratio";
constexpr const char* kLan = "LanRoute";
constexpr const char* kVisa = "VisaRoute";

class QuietTrace final : public HostTrace {
 public:
  bool TraceEnabled() override { return false; }
  std::int32_t ReportError(const MarlinError&, std::int32_t, std::int32_t) override { return 0; }
  void WriteTrace(const std::string&, const std::string&, const std::string&, const std::string&,
                  const std::string&, const std::string&) override {}
};

class NoWaitTools final : public HostTools {
 public:
  double LowestFrequency() override { return 0; }
  double HighestFrequency() override { return 0; }
  bool IsBetween(std::int64_t, std::int64_t, std::int64_t) override { return false; }
  void Wait(float) override {}
};

// The simulator every client of one run talks to.
struct Server {
  std::shared_ptr<VirtualClock> clock = std::make_shared<VirtualClock>();
  std::shared_ptr<sim::Amplifier> amp =
      std::make_shared<sim::Amplifier>(sim::AmplifierConfig{}, clock);
  sim::TcpFront front{amp};
};

Server& TheServer() {
  static Server server;
  return server;
}

class RawClient {
 public:
  explicit RawClient(std::uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int on = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0) {
      throw std::runtime_error("raw client cannot connect");
    }
  }
  ~RawClient() { ::close(fd_); }
  std::string Query(const std::string& text) {
    (void)!::send(fd_, text.data(), text.size(), MSG_NOSIGNAL);
    std::string answer;
    char buffer[512];
    while (answer.empty() || answer.back() != '\n') {
      auto n = ::recv(fd_, buffer, sizeof(buffer), 0);
      if (n <= 0) throw std::runtime_error("raw client lost the server");
      answer.append(buffer, static_cast<std::size_t>(n));
    }
    return answer;
  }

 private:
  int fd_;
};

// A driver object on one route, with this thread's host services installed.
class RouteClient {
 public:
  RouteClient(std::int32_t route, std::uint16_t port) {
    host::Replace(std::make_unique<QuietTrace>());
    host::Replace(std::make_unique<NoWaitTools>());
    host::Replace(std::make_unique<StandaloneDevList>(nullptr, lan_));
    host::Replace(visa_);
    access_.Status() = 1;
    access_.Interface() = route;
    if (route == route::kLan) {
      bool ok = false;
      lan_->Open("127.0.0.1", port, access_.LanSocket(), ok);
      if (!ok) throw std::runtime_error(lan_->LastError());
    } else {
      ViSession rm = 0;
      visa_->viOpenDefaultRM(rm);
      if (visa_->viOpen(rm, "TCPIP0::127.0.0.1::" + std::to_string(port) + "::SOCKET", 0, 10000,
                        access_.VisaSession()) != visa_status::kSuccess) {
        throw std::runtime_error("VISA open failed");
      }
      visa_->viSetAttribute(access_.VisaSession(), visa_attr::kTermCharEn, 1);
      visa_->viSetAttribute(access_.VisaSession(), visa_attr::kTermChar, '\n');
      visa_->viSetAttribute(access_.VisaSession(), visa_attr::kTimeoutValue, 10000);
    }
  }
  ~RouteClient() {
    amp_.reset();
    host::ResetThread();
  }
  std::string Query(const std::string& text) { return access_.ReadCmdResponse(text, 0); }

 private:
  std::shared_ptr<TcpLanSockets> lan_ =
      std::make_shared<TcpLanSockets>(std::make_shared<VirtualClock>());
  std::shared_ptr<BuiltinVisa> visa_ = std::make_shared<BuiltinVisa>();
  std::unique_ptr<clsMarlin> amp_ = std::make_unique<clsMarlin>(host::ThreadContext());
  MarlinTestAccess access_{*amp_};
};

void Check(benchmark::State& state, const std::string& answer) {
  const std::string& expected = TheServer().amp->Identification();
  if (answer.compare(0, expected.size(), expected) != 0) state.SkipWithError("wrong answer");
}

// Each iteration times one bare-socket query and one query by the route, in alternating order,
// so that the machine's changing load weighs on both alike.
void AgainstBareSocket(benchmark::State& state, std::int32_t route) {
  RawClient raw(TheServer().front.Port());
  RouteClient client(route, TheServer().front.Port());
  using Clock = std::chrono::steady_clock;
  Clock::duration rawTime{}, routeTime{};
  bool rawFirst = true;
  for (auto _ : state) {
    for (int turn = 0; turn < 2; ++turn) {
      const bool bare = (turn == 0) == rawFirst;
      const auto start = Clock::now();
      std::string answer = bare ? raw.Query(kQuery) : client.Query(kQuery);
      (bare ? rawTime : routeTime) += Clock::now() - start;
      Check(state, answer);
    }
    rawFirst = !rawFirst;
  }
  const double n = static_cast<double>(state.iterations());
  auto us = [n](Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count() / n;
  };
  state.counters["bare_us"] = us(rawTime);
  state.counters["route_us"] = us(routeTime);
  state.counters[kRatio] = us(routeTime) / us(rawTime);
}

void LanRoute(benchmark::State& state) { AgainstBareSocket(state, route::kLan); }
void VisaRoute(benchmark::State& state) { AgainstBareSocket(state, route::kVisa); }

BENCHMARK(LanRoute)->Name(kLan)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(VisaRoute)->Name(kVisa)->Repetitions(5)->ReportAggregatesOnly(true);

// Keeps each benchmark's median ratio.
class RatioKeeper final : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> medians;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& run : runs) {
      auto ratio = run.counters.find(kRatio);
      if (run.aggregate_name == "median" && ratio != run.counters.end()) {
        medians[run.run_name.function_name] = ratio->second.value;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace
}  // namespace marlin

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  marlin::RatioKeeper reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  std::cout << "\nround trip as a multiple of the bare socket's, median (goal: at most 1.1)\n";
  for (const auto& [route, ratio] : reporter.medians) {
    std::cout << "  " << route << ": " << ratio << "\n";
  }
  return 0;
}

#pragma once
// The stand-alone host services of one marlinctl run, installed for its lifetime: device list,
// trace file, LAN sockets and GPIB backends on one clock, optionally observed for the progress
// display. Leaving drops this thread's services, so sockets and handles close in order.
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "app/wait_tracker.h"
#include "clock/clock.h"
#include "driver/cls_marlin.h"
#include "host/thread_host.h"
#include "host/trace_sinks.h"

namespace marlin {
class TcpLanSockets;
}

namespace marlin::cli {

struct HostPlan {
  std::filesystem::path deviceList;
  std::filesystem::path traceFile;  // empty: no trace
  std::shared_ptr<Clock> clock;
  bool waitWindow = false;
  std::shared_ptr<WaitTracker> tracker;  // null: waits are not observed
  double sliceMs = 100;                  // see ObservedHostFactory; also a host's own observers
  // Sees every trace line as the JSON Lines trace writes it, with or without a trace file.
  JsonLinesFile::LineObserver traceLines;
  // Takes the finished factory instead of installing it for the whole process: a host that
  // gives each thread its own.
  std::function<void(std::shared_ptr<HostServiceFactory>)> install;
};

class HostSetup {
 public:
  // Throws a configuration CliFailure for a trace file that cannot be opened.
  explicit HostSetup(const HostPlan& plan);
  ~HostSetup();
  HostSetup(const HostSetup&) = delete;
  HostSetup& operator=(const HostSetup&) = delete;

  // The services this run installed, for a host that gives its objects contexts of their own.
  const std::shared_ptr<HostServiceFactory>& Factory() const { return factory_; }
  double SliceMs() const { return sliceMs_; }

  // Why the last connection attempt of `amp` left it unconnected, as far as the host knows.
  std::string WhyNotConnected(const clsMarlin::Snapshot& amp) const;

 private:
  struct GpibWitness;
  std::shared_ptr<TcpLanSockets> lan_;
  std::shared_ptr<GpibWitness> gpib_;
  bool installedForProcess_ = false;
  std::shared_ptr<HostServiceFactory> factory_;
  double sliceMs_ = 100;
};

// "LAN 127.0.0.1:5025", "VISA TCPIP0::...::SOCKET", "GPIB board 0 address 7".
std::string RouteText(const clsMarlin::Snapshot& amp);

// An instrument's answer as a person reads it: cut at the first NUL, without trailing blanks and
// line ends (the fill a transport leaves), control characters and bytes that are not UTF-8
// escaped, and a long one cut.
std::string AnswerText(const std::string& answer);

}  // namespace marlin::cli

#pragma once
// One amplifier of the device list as an application talks to it: a driver object named after
// the device, connected, identified, switched and read back, its error queue read out, and
// disconnected when the session ends whatever happened. What it reports of the amplifier is what
// was read back from it.
//
// A session either uses the host services a program installed (HostSetup) or installs its own
// from a SessionPlan; the latter is for a program that only ever talks to amplifiers through
// sessions. The host services belong to the thread that calls: call a session from one thread
// at a time. Stop() may come from any thread.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/wait_tracker.h"
#include "clock/clock.h"
#include "driver/cls_marlin.h"
#include "driver/marlin_error.h"

namespace marlin::cli {

class HostSetup;

// The error a session's wait raises once Stop() was asked for: the runtime's "user interrupt".
inline constexpr std::int32_t kStoppedError = 18;

// The amplifier was not reached or not accepted: "not connected over ROUTE: WHY".
class NotConnected : public MarlinError {
 public:
  explicit NotConnected(const std::string& description)
      : MarlinError(errors::kTransport, description) {}
};

struct SessionIdentity {
  std::string description;  // the device list's description
  std::string route;        // "LAN 127.0.0.1:5025", see RouteText
  std::int32_t interfaceCode = 0;
  std::string identification;  // the identification answer, printable
  std::string serial;          // empty when the route's answer carries none apart
  double firmware = 0;
  std::string model;  // see ModelText
};

struct QueuedError {
  std::int32_t number = 0;  // the entry's leading number; 0 when it has none
  std::string text;         // the whole entry as read, printable
};

struct ErrorQueue {
  std::vector<QueuedError> entries;  // oldest first
  bool more = false;                 // stopped at the limit: more may be queued
  bool repeats = false;              // stopped because the last entry came again (latched fault)
};

struct ErrorReading {
  std::int32_t most = 20;
  // A latched fault answers the same entry until it is reset: stop when an entry repeats.
  bool stopAtRepeat = false;
  // Told each entry as soon as it is read, before the next query.
  std::function<void(const QueuedError&)> each;
};

struct SwitchParams {
  std::int32_t bandPath = 0;  // 0: the band path stays as it is
  std::int32_t outputMode = 0;
  std::int32_t operatingClass = 0;
};

struct SwitchRequest {
  std::int32_t state = 0;
  // Unset: the band path, mode and class given before (or none) hold.
  std::optional<SwitchParams> params;
};

// A wait of the driver: began, went on or ended (see WaitActivity).
using WaitCallback = std::function<void(const WaitActivity& activity)>;

// Everything a session needs to install its own host services.
struct SessionPlan {
  std::string device;
  std::filesystem::path deviceList;
  std::filesystem::path traceFile;  // empty: no trace
  double timeScale = 1;             // the driver's waits last 1/timeScale of their length
  WaitCallback onWait;              // may be empty
};

class AmplifierSession {
 public:
  // Uses the host services `host` installed; `tracker` (may be null) is the one they report the
  // waits to, reset around each call so an error leaves no stale activity.
  // `context`: the services the object uses; null takes the calling thread's.
  AmplifierSession(std::string device, const HostSetup& host,
                   std::shared_ptr<WaitTracker> tracker = nullptr,
                   std::shared_ptr<Host> context = nullptr);
  // Installs its own host services for its lifetime (one such session per process at a time).
  // Throws a configuration CliFailure for a trace file that cannot be opened.
  explicit AmplifierSession(const SessionPlan& plan);
  ~AmplifierSession();
  AmplifierSession(const AmplifierSession&) = delete;
  AmplifierSession& operator=(const AmplifierSession&) = delete;

  const std::string& Device() const { return device_; }

  // Reads the device's entry in the list: route, address, description. Connect() names too.
  void Name();
  // Names and connects. Throws NotConnected when the amplifier is not reached or not accepted.
  void Connect();
  // False while not connected; Connected() after Connect() is true.
  bool Connected() const;
  // Closes the connection; the driver's check runs even while not connected.
  void Disconnect();

  // What naming and connecting learnt; asks the amplifier nothing.
  SessionIdentity Identify() const;
  // The state the amplifier reads back: 0 Off, 1 On, 2 Standby, 3 Operate, 4 Fault.
  std::int32_t State();
  void SetState(const SwitchRequest& request);
  void ResetFault();
  void Initialize();
  ErrorQueue ReadErrors(const ErrorReading& reading);

  // Why the last Connect() left the device unconnected, as far as the host knows.
  std::string WhyNotConnected() const;
  std::string RouteText() const;

  // Asks the running call to end: its next wait raises kStoppedError (the driver's procedures
  // pass it on in their own form). Any thread; the request holds until the next call begins.
  void Stop() { stop_->store(true); }

  // The driver object, for a host that needs more than the session offers.
  clsMarlin& Amp() { return *amp_; }

 private:
  class OwnHost;
  class Call;

  std::string device_;
  std::shared_ptr<std::atomic<bool>> stop_ = std::make_shared<std::atomic<bool>>(false);
  std::unique_ptr<OwnHost> own_;  // SessionPlan only; made before the driver object
  const HostSetup* host_ = nullptr;
  std::shared_ptr<WaitTracker> tracker_;
  std::unique_ptr<clsMarlin> amp_;
};

// "PA4415", "PA4520", "PA4413", or "PA4400 family (not recognised by name)".
std::string ModelText(const clsMarlin::Snapshot& amp);

}  // namespace marlin::cli

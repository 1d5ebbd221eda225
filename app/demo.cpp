#include "app/demo.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <ostream>
#include <sstream>
#include <vector>

#include "app/amplifier_session.h"
#include "app/demo_simulator.h"
#include "app/exit_codes.h"
#include "app/host_setup.h"
#include "app/progress_display.h"
#include "driver/marlin_error.h"
#include "host/printable_text.h"
#include "platform/console.h"
#include "platform/removed_on_termination.h"

namespace marlin::cli {
namespace {

constexpr std::int32_t kDemoOutputMode = 0;
constexpr std::int32_t kDemoOperatingClass = 1;
constexpr std::int32_t kMostErrorsShown = 20;

struct StepRecord {
  std::string title;
  bool ok = false;
  std::string result;
  Clock::Duration took{};
};

// Padded to `width` characters, so columns line up.
std::string Seconds(double seconds, int width = 0) {
  char text[32];
  std::snprintf(text, sizeof text, "%*.1f s", width, seconds);
  return text;
}

std::string StateText(std::int32_t code) {
  return clsMarlin::StateName(code) + " (" + std::to_string(code) + ")";
}

std::string RouteTitle(Route route) {
  switch (route) {
    case Route::Lan:
      return "the LAN route (raw TCP socket, interface 50)";
    case Route::Visa:
      return "the VISA route (TCPIP SOCKET resource, interface 60)";
    case Route::Gpib:
      return "the GPIB route through a GPIB-Ethernet gateway (interface 10)";
  }
  return {};
}

class DemoRun {
 public:
  DemoRun(std::ostream& out, const Clock& clock, WaitTracker& tracker)
      : out_(out), clock_(clock), tracker_(tracker) {}

  // Runs one step; false when it failed (its error is recorded and shown).
  bool Step(const std::string& title, const std::function<std::string()>& work) {
    StepRecord record;
    record.title = title;
    out_ << "[" << steps_.size() + 1 << "] " << title << "\n" << std::flush;
    tracker_.Reset();
    const Clock::Duration start = clock_.Now();
    try {
      record.result = work();
      record.ok = true;
    } catch (const MarlinError& e) {
      record.result = "error " + std::to_string(e.Number()) + ": " + AnswerText(e.Description());
    } catch (const CliFailure& e) {
      record.result = e.what();
    }
    tracker_.Reset();
    record.took = clock_.Now() - start;
    out_ << "    " << (record.ok ? "-> " : "FAILED: ") << record.result << "\n" << std::flush;
    steps_.push_back(record);
    return record.ok;
  }

  void Summary(double scale, std::chrono::steady_clock::duration real) const {
    std::size_t width = 0;
    for (const StepRecord& s : steps_) width = std::max(width, s.title.size());
    out_ << "\nSummary\n";
    int ok = 0;
    for (std::size_t i = 0; i < steps_.size(); ++i) {
      const StepRecord& s = steps_[i];
      ok += s.ok ? 1 : 0;
      out_ << "  " << (i + 1 < 10 ? " " : "") << i + 1 << "  " << s.title
           << std::string(width - s.title.size(), ' ') << "  " << (s.ok ? "ok    " : "FAILED")
           << "  " << Seconds(ToMilliseconds(s.took) / 1000, 5) << "  " << s.result << "\n";
    }
    const double realSeconds = std::chrono::duration<double>(real).count();
    out_ << (ok == static_cast<int>(steps_.size()) ? "All " : "") << ok << " of " << steps_.size()
         << " steps succeeded in " << Seconds(realSeconds) << " ("
         << Seconds(ToMilliseconds(clock_.Now()) / 1000)
         << " on the amplifier's clock at time scale " << scale << ").\n"
         << std::flush;
  }

 private:
  std::ostream& out_;
  const Clock& clock_;
  WaitTracker& tracker_;
  std::vector<StepRecord> steps_;
};

// The steps after connecting; false when one failed.
bool Operate(DemoRun& run, AmplifierSession& session, std::int32_t band) {
  const auto switchTo = [&](SwitchRequest request) {
    session.SetState(request);
    return "now " + StateText(session.State());
  };
  return run.Step("initialise", [&] {
    session.Initialize();
    return std::string("done");
  }) && run.Step("operate on band path " + std::to_string(band), [&] {
    return switchTo({state::kOperate, SwitchParams{band, kDemoOutputMode, kDemoOperatingClass}});
  }) && run.Step("read the state", [&] {
    return StateText(session.State());
  }) && run.Step("read the error queue", [&] {
    ErrorReading reading;
    reading.most = kMostErrorsShown;
    std::string entries;
    for (const QueuedError& entry : session.ReadErrors(reading).entries) {
      entries += (entries.empty() ? "" : "; ") + entry.text;
    }
    return entries.empty() ? std::string("empty") : entries;
  }) && run.Step("standby", [&] {
    return switchTo({state::kStandby, std::nullopt});
  }) && run.Step("off", [&] {
    return switchTo({state::kOff, std::nullopt});
  });
}

// Names, connects, operates and disconnects; the exit status.
int RunSteps(DemoRun& run, const HostSetup& host, const std::shared_ptr<WaitTracker>& tracker,
             std::int32_t band) {
  AmplifierSession session(DemoSimulator::kDevice, host, tracker);
  const bool named = run.Step("name the device " + session.Device(), [&] {
    session.Name();
    const SessionIdentity identity = session.Identify();
    return identity.route + ", \"" + Printable(identity.description) + "\"";
  });
  if (!named) return exit_code::kDriverError;
  const bool connected = run.Step("connect and identify", [&] {
    try {
      session.Connect();
    } catch (const NotConnected&) {
      throw CliFailure(exit_code::kConnectionFailure,
                       "not connected: " + session.WhyNotConnected());
    }
    const SessionIdentity identity = session.Identify();
    return identity.identification +
           (identity.serial.empty() ? "" : ", serial " + identity.serial) + "; model " +
           identity.model;
  });
  if (!connected) return exit_code::kConnectionFailure;
  int status = Operate(run, session, band) ? exit_code::kSuccess : exit_code::kDriverError;
  const bool disconnected = run.Step("disconnect", [&] {
    session.Disconnect();
    return "Status " + std::to_string(session.Amp().clsDevice_Status());
  });
  if (!disconnected) status = exit_code::kDriverError;
  return status;
}

void Introduce(const CliOptions& options, const DemoSimulator& simulator, double scale,
               std::ostream& out) {
  out << "marlinctl demo: a simulated " << options.model << " on " << RouteTitle(options.route)
      << "\n"
      << "Time scale " << scale
      << ": the driver's waits and the simulator's switching times last 1/" << scale
      << " of their length.\n"
      << "Simulator: " << simulator.Listening() << "\n";
  for (const std::string& fault : options.faults) out << "Simulator fault: " << fault << "\n";
  out << "Device list " << simulator.DeviceListPath().string() << ":\n";
  std::istringstream listText(simulator.DeviceListText());
  for (std::string line; std::getline(listText, line);) out << "    " << line << "\n";
  out << "\n" << std::flush;
}

}  // namespace

int RunDemo(const CliOptions& options, std::ostream& out) {
  const double scale = options.host.timeScale.value_or(kDemoTimeScale);
  auto clock = std::make_shared<RealClock>(scale);
  DemoSimulator simulator(options.model, options.route, options.faults, clock);
  const platform::RemovedOnTermination cleanup(simulator.DeviceListPath(), simulator.Folder());
  Introduce(options, simulator, scale, out);

  ProgressDisplay display(out, platform::IsConsole(platform::ConsoleStream::Output));
  auto tracker = std::make_shared<WaitTracker>(clock, display);
  HostPlan plan;
  plan.deviceList = simulator.DeviceListPath();
  plan.traceFile = options.host.trace.value_or("");
  plan.clock = clock;
  plan.waitWindow = options.host.waitWindow.value_or(true);
  plan.tracker = tracker;
  plan.sliceMs = 100 * scale;
  HostSetup host(plan);

  const auto realStart = std::chrono::steady_clock::now();
  DemoRun run(out, *clock, *tracker);
  const int status = RunSteps(run, host, tracker, options.demoBand);
  run.Summary(scale, std::chrono::steady_clock::now() - realStart);
  return status;
}

}  // namespace marlin::cli

#include "app/demo.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <ostream>
#include <sstream>
#include <vector>

#include "app/connected_amplifier.h"
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
bool Operate(DemoRun& run, clsMarlin& amp, std::int32_t band) {
  const auto switchTo = [&](std::int32_t target) {
    amp.clsIAmpRemote_SetState(target);
    return "now " + StateText(amp.clsIAmpRemote_GetState());
  };
  return run.Step("initialise", [&] {
    amp.clsDevice_Initialize();
    return std::string("done");
  }) && run.Step("operate on band path " + std::to_string(band), [&] {
    AmplParamsRecord params;
    params.BandPath = band;
    params.OutputMode = kDemoOutputMode;
    params.OperatingClass = kDemoOperatingClass;
    amp.clsIAmpRemote_AmplParams_Let(params);
    return switchTo(state::kOperate);
  }) && run.Step("read the state", [&] {
    return StateText(amp.clsIAmpRemote_GetState());
  }) && run.Step("read the error queue", [&] {
    std::string entries;
    for (int i = 0; i < kMostErrorsShown; ++i) {
      const std::string entry = amp.clsIAmpRemoteExt_CheckForError();
      if (entry.empty()) break;
      entries += (entries.empty() ? "" : "; ") + AnswerText(entry);
    }
    return entries.empty() ? std::string("empty") : entries;
  }) && run.Step("standby", [&] {
    return switchTo(state::kStandby);
  }) && run.Step("off", [&] { return switchTo(state::kOff); });
}

}  // namespace

int RunDemo(const CliOptions& options, std::ostream& out) {
  const double scale = options.host.timeScale.value_or(kDemoTimeScale);
  auto clock = std::make_shared<RealClock>(scale);
  DemoSimulator simulator(options.model, options.route, options.faults, clock);
  const platform::RemovedOnTermination cleanup(simulator.DeviceListPath(), simulator.Folder());

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
  int status = exit_code::kSuccess;
  {
    clsMarlin amp;
    const std::string device = DemoSimulator::kDevice;
    bool connected = false;
    const bool named = run.Step("name the device " + device, [&] {
      amp.clsDevice_Name_Let(device);
      return RouteText(amp.Fields()) + ", \"" + Printable(amp.clsDevice_Description()) + "\"";
    });
    if (named) {
      connected = run.Step("connect and identify", [&] {
        amp.clsDevice_Status_Let(1);
        amp.clsDevice_Check();
        const clsMarlin::Snapshot fields = amp.Fields();
        if (amp.clsDevice_Status() != 1) {
          throw CliFailure(exit_code::kConnectionFailure,
                           "not connected: " + host.WhyNotConnected(fields));
        }
        const InfoRecord info = amp.clsDevice_Info();
        return AnswerText(info.Member2) +
               (info.Member3.empty() ? "" : ", serial " + AnswerText(info.Member3)) + "; model " +
               ModelText(fields);
      });
    }
    if (!named) {
      status = exit_code::kDriverError;
    } else if (!connected) {
      status = exit_code::kConnectionFailure;
    } else {
      if (!Operate(run, amp, options.demoBand)) status = exit_code::kDriverError;
      const bool disconnected = run.Step("disconnect", [&] {
        amp.clsDevice_Status_Let(0);
        amp.clsDevice_Check();
        return "Status " + std::to_string(amp.clsDevice_Status());
      });
      if (!disconnected) status = exit_code::kDriverError;
    }
  }
  run.Summary(scale, std::chrono::steady_clock::now() - realStart);
  return status;
}

}  // namespace marlin::cli

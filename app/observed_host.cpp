#include "app/observed_host.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "driver/procedure_labels.h"
#include "host/standalone_tools.h"

namespace marlin::cli {
namespace {

class ObservingTrace final : public HostTrace {
 public:
  ObservingTrace(std::unique_ptr<HostTrace> inner, std::shared_ptr<WaitTracker> tracker)
      : inner_(std::move(inner)), tracker_(std::move(tracker)) {}

  // Every line is wanted here; the configured sinks still get only what they asked for.
  bool TraceEnabled() override { return true; }
  std::int32_t ReportError(const MarlinError& error, std::int32_t instanceId,
                           std::int32_t line) override {
    return inner_->ReportError(error, instanceId, line);
  }
  void WriteTrace(const std::string& event, const std::string& component,
                  const std::string& className, const std::string& procedure,
                  const std::string& data, const std::string& instanceId) override {
    if (event == trace_text::kStart) tracker_->ProcedureStarted(procedure);
    if (event == trace_text::kEnd) tracker_->ProcedureEnded(procedure);
    if (inner_->TraceEnabled()) {
      inner_->WriteTrace(event, component, className, procedure, data, instanceId);
    }
  }

 private:
  std::unique_ptr<HostTrace> inner_;
  std::shared_ptr<WaitTracker> tracker_;
};

class ObservingTools final : public HostTools {
 public:
  ObservingTools(std::unique_ptr<HostTools> inner, std::shared_ptr<WaitTracker> tracker,
                 double sliceMs)
      : inner_(std::move(inner)), tracker_(std::move(tracker)), sliceMs_(sliceMs) {}

  double LowestFrequency() override { return inner_->LowestFrequency(); }
  double HighestFrequency() override { return inner_->HighestFrequency(); }
  bool IsBetween(std::int64_t low, std::int64_t value, std::int64_t high) override {
    return inner_->IsBetween(low, value, high);
  }

  void Wait(float milliseconds) override {
    // A wait the host refuses is refused whole, with the host's own error.
    if (!(std::isfinite(milliseconds) && milliseconds >= 0 && milliseconds <= kLongestWaitMs)) {
      inner_->Wait(milliseconds);
      return;
    }
    tracker_->WaitStarting(milliseconds);
    try {
      double left = milliseconds;
      do {
        const double slice = std::min(left, sliceMs_);
        inner_->Wait(static_cast<float>(slice));
        left -= slice;
        if (left > 0) tracker_->WaitGoingOn();
      } while (left > 0);
    } catch (...) {
      tracker_->WaitFinished(false);
      throw;
    }
    tracker_->WaitFinished();
  }

 private:
  std::unique_ptr<HostTools> inner_;
  std::shared_ptr<WaitTracker> tracker_;
  double sliceMs_;
};

}  // namespace

ObservedHostFactory::ObservedHostFactory(std::shared_ptr<HostServiceFactory> inner,
                                         std::shared_ptr<WaitTracker> tracker, double sliceMs)
    : ForwardingHostFactory(std::move(inner)),
      tracker_(std::move(tracker)),
      sliceMs_(std::max(sliceMs, 1.0)) {}

std::unique_ptr<HostTrace> ObservedHostFactory::MakeTrace(const Host& context) {
  return std::make_unique<ObservingTrace>(inner_->MakeTrace(context), tracker_);
}

std::unique_ptr<HostTools> ObservedHostFactory::MakeTools() {
  return std::make_unique<ObservingTools>(inner_->MakeTools(), tracker_, sliceMs_);
}

}  // namespace marlin::cli

#pragma once
// The stand-alone host's services with the driver's waits made visible: the trace service tells
// a WaitTracker which procedure runs, the wait service tells it when and how long the driver
// waits, in slices short enough for a live display. What the driver sees does not change: its
// trace reaches the configured sinks as before and every wait lasts as long as it asked.
#include <memory>

#include "app/forwarding_host.h"
#include "app/wait_tracker.h"

namespace marlin::cli {

class ObservedHostFactory : public ForwardingHostFactory {
 public:
  // `sliceMs`: the longest piece of a wait on the host's clock between two progress reports.
  ObservedHostFactory(std::shared_ptr<HostServiceFactory> inner,
                      std::shared_ptr<WaitTracker> tracker, double sliceMs);

  std::unique_ptr<HostTrace> MakeTrace(const Host& context) override;
  std::unique_ptr<HostTools> MakeTools() override;

 private:
  std::shared_ptr<WaitTracker> tracker_;
  double sliceMs_;
};

}  // namespace marlin::cli

#pragma once
// One driver object for one device of the list, connected and identified for the time of a
// command, disconnected and released afterwards whatever happened.
#include <memory>
#include <string>

#include "app/host_setup.h"
#include "driver/cls_marlin.h"

namespace marlin::cli {

class ConnectedAmplifier {
 public:
  // Names the device, connects and identifies. Throws a connection CliFailure with the host's
  // reason when the amplifier is not reached or not accepted; a host call's own error passes
  // as a MarlinError.
  ConnectedAmplifier(const std::string& device, const HostSetup& host);
  ~ConnectedAmplifier();
  ConnectedAmplifier(const ConnectedAmplifier&) = delete;
  ConnectedAmplifier& operator=(const ConnectedAmplifier&) = delete;

  clsMarlin& Amp() { return *amp_; }
  const std::string& Device() const { return device_; }

 private:
  std::string device_;
  std::unique_ptr<clsMarlin> amp_;
};

// "PA4415", "PA4520", "PA4413", or "PA4400 family (not recognised by name)".
std::string ModelText(const clsMarlin::Snapshot& amp);

}  // namespace marlin::cli

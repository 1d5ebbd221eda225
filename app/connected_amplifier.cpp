#include "app/connected_amplifier.h"

#include "app/exit_codes.h"
#include "host/printable_text.h"
#include "host/thread_host.h"

namespace marlin::cli {

ConnectedAmplifier::ConnectedAmplifier(const std::string& device, const HostSetup& host)
    : device_(device), amp_(std::make_unique<clsMarlin>(host::ThreadContext())) {
  amp_->clsDevice_Name_Let(device);
  amp_->clsDevice_Status_Let(1);
  amp_->clsDevice_Check();
  if (amp_->clsDevice_Status() != 1) {
    const clsMarlin::Snapshot fields = amp_->Fields();
    throw CliFailure(exit_code::kConnectionFailure,
                     Printable(Capped(device)) + ": not connected over " + RouteText(fields) +
                         ": " + host.WhyNotConnected(fields));
  }
}

ConnectedAmplifier::~ConnectedAmplifier() {
  try {
    if (amp_->clsDevice_Status() == 1) {
      amp_->clsDevice_Status_Let(0);
      amp_->clsDevice_Check();
    }
  } catch (...) {
    // Leaving anyway: the release below closes what it can.
  }
}

std::string ModelText(const clsMarlin::Snapshot& amp) {
  if (amp.IsPA4413 == kTrue) return "PA4413";
  if (amp.IsPA4520 == kTrue) return "PA4520";
  if (amp.NotPA4413 == kTrue) return "PA4415";
  return "PA4400 family (not recognised by name)";
}

}  // namespace marlin::cli

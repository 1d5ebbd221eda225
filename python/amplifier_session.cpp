#include "python/amplifier_session.h"

#include <utility>

#include "app/connected_amplifier.h"
#include "app/host_setup.h"
#include "app/panel/read_back.h"
#include "driver/cls_marlin.h"
#include "host/printable_text.h"

namespace marlin::python {

AmplifierSession::AmplifierSession(std::string device, const cli::HostSetup& host)
    : device_(std::move(device)), host_(host), amp_(std::make_unique<clsMarlin>()) {
  amp_->clsDevice_Name_Let(device_);
}

AmplifierSession::~AmplifierSession() {
  try {
    Disconnect();
  } catch (...) {
    // Leaving anyway: the release below closes what it can.
  }
}

bool AmplifierSession::Connected() const { return amp_->clsDevice_Status() == 1; }

void AmplifierSession::RequireConnection() const {
  if (!Connected()) throw NotConnected(Printable(Capped(device_)) + " is not connected");
}

void AmplifierSession::Connect() {
  amp_->clsDevice_Status_Let(1);
  amp_->clsDevice_Check();
  if (Connected()) return;
  const clsMarlin::Snapshot fields = amp_->Fields();
  throw NotConnected(Printable(Capped(device_)) + ": not connected over " + cli::RouteText(fields) +
                     ": " + host_.WhyNotConnected(fields));
}

void AmplifierSession::Disconnect() {
  if (!Connected()) return;
  amp_->clsDevice_Status_Let(0);
  amp_->clsDevice_Check();
}

Identification AmplifierSession::Identify() const {
  RequireConnection();
  const clsMarlin::Snapshot fields = amp_->Fields();
  const panel::Identity identity = panel::IdentityOf(fields);
  return {cli::AnswerText(fields.Info.Member2), identity.serial, fields.FirmwareVersion,
          cli::ModelText(fields)};
}

std::int32_t AmplifierSession::State() {
  RequireConnection();
  return amp_->clsIAmpRemote_GetState();
}

void AmplifierSession::SetState(std::int32_t state, const std::optional<AmplParamsRecord>& params) {
  RequireConnection();
  if (params) amp_->clsIAmpRemote_AmplParams_Let(*params);
  amp_->clsIAmpRemote_SetState(state);
}

void AmplifierSession::ResetFault() {
  RequireConnection();
  amp_->clsIAmpRemote_ResetFault();
}

void AmplifierSession::Initialize() {
  RequireConnection();
  amp_->clsDevice_Initialize();
}

std::vector<std::string> AmplifierSession::Errors(std::int32_t most) {
  RequireConnection();
  std::vector<std::string> read;
  while (static_cast<std::int32_t>(read.size()) < most) {
    const std::string entry = amp_->clsIAmpRemoteExt_CheckForError();
    if (entry.empty()) break;
    std::string text = cli::AnswerText(entry);
    // A latched fault answers the same entry until it is reset: reading on shows nothing new.
    if (!read.empty() && read.back() == text) break;
    read.push_back(std::move(text));
  }
  return read;
}

}  // namespace marlin::python

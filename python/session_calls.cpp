#include "python/session_calls.h"

#include "app/panel/read_back.h"
#include "host/printable_text.h"

namespace marlin::python {

void RequireConnection(const cli::AmplifierSession& session) {
  if (!session.Connected()) {
    throw cli::NotConnected(Printable(Capped(session.Device())) + " is not connected");
  }
}

Identification Identify(cli::AmplifierSession& session) {
  RequireConnection(session);
  const cli::SessionIdentity identity = session.Identify();
  // The GPIB route keeps the whole answer, serial included; the others hold the serial apart.
  const std::string serial = panel::IdentityOf(session.Amp().Fields()).serial;
  return {identity.identification, serial, identity.firmware, identity.model};
}

cli::SwitchRequest Switch(std::int32_t state, std::optional<std::int32_t> band, std::int32_t mode,
                          std::int32_t operatingClass) {
  cli::SwitchRequest request{state, std::nullopt};
  if (band || mode != 0 || operatingClass != 0) {
    request.params = cli::SwitchParams{band.value_or(0), mode, operatingClass};
  }
  return request;
}

std::vector<std::string> Errors(cli::AmplifierSession& session, std::int32_t most) {
  RequireConnection(session);
  cli::ErrorReading reading;
  reading.most = most;
  reading.stopAtRepeat = true;
  std::vector<std::string> texts;
  for (cli::QueuedError& entry : session.ReadErrors(reading).entries) {
    texts.push_back(std::move(entry.text));
  }
  return texts;
}

}  // namespace marlin::python

#pragma once
// What the package asks of an amplifier session, as the package's calls need it: refused while
// not connected (the driver would send nothing and answer as if it had), the identification
// in one form on every route.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/amplifier_session.h"

namespace marlin::python {

struct Identification {
  std::string identification;  // the answer the driver recorded
  std::string serial;
  double firmware = 0;
  std::string model;
};

// Throws cli::NotConnected unless the session is connected.
void RequireConnection(const cli::AmplifierSession& session);
Identification Identify(cli::AmplifierSession& session);
// `band` unset and mode and class 0: the band path, mode and class given before hold.
cli::SwitchRequest Switch(std::int32_t state, std::optional<std::int32_t> band, std::int32_t mode,
                          std::int32_t operatingClass);
// The queue's entries, oldest first, until it is empty, an entry repeats or `most` are read.
std::vector<std::string> Errors(cli::AmplifierSession& session, std::int32_t most);

}  // namespace marlin::python

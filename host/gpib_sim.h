#pragma once
// The "sim" GPIB backend: "sim:PA4415" puts an in-process simulated amplifier of that model at
// every address of the board, on the host's clock, so a read timeout costs no real time on a
// virtual clock. Kept out of marlin_host so the host does not depend on the simulator.
#include <memory>
#include <string>

#include "host/gpib_backend.h"

namespace marlin {
namespace sim {
class Amplifier;
}

inline constexpr const char* kSimScheme = "sim";

// Throws std::invalid_argument for a model the simulator does not know.
std::unique_ptr<GpibBackend> MakeSimGpibBackend(const std::string& model,
                                                std::shared_ptr<Clock> clock);

// Puts the given amplifier at every address of the board (for a rig that watches it).
std::unique_ptr<GpibBackend> SimGpibBackendOf(std::shared_ptr<sim::Amplifier> amp);

// The standard backends plus "sim".
GpibBackendKinds GpibBackendsWithSim();

}  // namespace marlin

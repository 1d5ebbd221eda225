#pragma once
// GPIB boards driven by the system's linux-gpib library, loaded at the first open (not when the
// host starts), so hosts without it run on their other routes.
#include <memory>
#include <string>

#include "host/gpib_backend.h"

namespace marlin {

inline constexpr const char* kLinuxGpibScheme = "linux-gpib";

// `target` is empty (the usual library names) or the path of the library to load.
std::unique_ptr<GpibBackend> MakeLinuxGpibBackend(const std::string& target,
                                                  const std::shared_ptr<Clock>& clock);

}  // namespace marlin

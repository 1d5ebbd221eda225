#pragma once
// Which VISA a host gives the driver: on Windows the system's visa32.dll; elsewhere a library
// named in MARLIN_VISA_LIBRARY, else the first vendor library found, else the built-in raw-socket
// layer. A system library is used behind the late-answer guard.
#include <memory>

#include "io/visa_binding.h"
#include "platform/visa_builtin.h"

namespace marlin::platform {

// Raises an error carrying the loader's own message when the library to use cannot be loaded.
// `builtin` configures the built-in layer when that is the choice.
std::shared_ptr<VisaBinding> ChooseVisa(const BuiltinVisaOptions& builtin);

}  // namespace marlin::platform

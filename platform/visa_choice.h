#pragma once
// Which VISA a host gives the driver: a library named in MARLIN_VISA_LIBRARY, else the first
// vendor library found, else the built-in raw-socket layer. On Windows a host chooses whether the
// built-in layer may serve: the COM server keeps to the system's visa32.dll, as its hosts expect,
// while the stand-alone programs look for visa64.dll or visa32.dll and then take the built-in
// layer. A system library is used behind the late-answer guard.
#include <memory>

#include "io/visa_binding.h"
#include "platform/visa_builtin.h"

namespace marlin::platform {

enum class WindowsVisa { SystemLibraryOnly, SystemLibraryElseBuiltin };

// Raises an error carrying the loader's own message when the library to use cannot be loaded.
// `builtin` configures the built-in layer when that is the choice.
std::shared_ptr<VisaBinding> ChooseVisa(const BuiltinVisaOptions& builtin,
                                        WindowsVisa onWindows = WindowsVisa::SystemLibraryOnly);

}  // namespace marlin::platform

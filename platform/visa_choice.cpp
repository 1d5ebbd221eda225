#include "platform/visa_choice.h"

#include <string>
#include <vector>

#include "io/visa_reopening.h"
#include "platform/environment.h"
#include "platform/visa_system.h"

namespace marlin::platform {
namespace {

std::shared_ptr<VisaBinding> Guarded(std::unique_ptr<SystemVisa> system) {
  return std::make_shared<ReopeningVisa>(std::move(system));
}

}  // namespace

std::shared_ptr<VisaBinding> ChooseVisa(const BuiltinVisaOptions& builtin,
                                        [[maybe_unused]] WindowsVisa onWindows) {
#ifdef _WIN32
  if (onWindows == WindowsVisa::SystemLibraryOnly) {
    return Guarded(SystemVisa::Load(SystemVisa::VendorLibraries().front()));
  }
  const auto configured = EnvironmentValue(visa_loader::kPathVariable);
  if (configured && !configured->empty()) return Guarded(SystemVisa::Load(*configured));
  // A 64-bit program takes the 64-bit library by its own name first; vendors also install a
  // visa32.dll of each width in the system folder of that width.
  std::vector<std::string> libraries;
  if constexpr (sizeof(void*) == 8) libraries.push_back("visa64.dll");
  libraries.push_back("visa32.dll");
  if (auto system = SystemVisa::LoadFirst(libraries)) return Guarded(std::move(system));
  return std::make_shared<BuiltinVisa>(builtin);
#else
  // A library the user named must load; falling back would hide the mistake.
  const auto configured = EnvironmentValue(visa_loader::kPathVariable);
  if (configured && !configured->empty()) return Guarded(SystemVisa::Load(*configured));
  if (auto system = SystemVisa::LoadFirst(SystemVisa::VendorLibraries())) {
    return Guarded(std::move(system));
  }
  return std::make_shared<BuiltinVisa>(builtin);
#endif
}

}  // namespace marlin::platform

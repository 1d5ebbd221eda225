#include "platform/visa_choice.h"

#include "io/visa_reopening.h"
#include "platform/environment.h"
#include "platform/visa_system.h"

namespace marlin::platform {
namespace {

std::shared_ptr<VisaBinding> Guarded(std::unique_ptr<SystemVisa> system) {
  return std::make_shared<ReopeningVisa>(std::move(system));
}

}  // namespace

std::shared_ptr<VisaBinding> ChooseVisa([[maybe_unused]] const BuiltinVisaOptions& builtin) {
#ifdef _WIN32
  return Guarded(SystemVisa::Load(SystemVisa::VendorLibraries().front()));
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

// Which VISA the driver talks to, decided at the first VISA call: on Windows the system's
// visa32.dll; elsewhere a library named in MARLIN_VISA_LIBRARY, else the first vendor library
// found, else our built-in raw-socket layer.
#include "io/modvisa.h"

#include <cstdlib>
#include <mutex>

#include "io/visa_builtin.h"
#include "io/visa_reopening.h"
#include "io/visa_system.h"

namespace marlin::modVisa {
namespace {

std::mutex chosenMutex;
std::shared_ptr<VisaBinding> chosen;
std::function<std::chrono::nanoseconds(std::chrono::nanoseconds)> builtinRealSpan;

std::shared_ptr<VisaBinding> Guarded(std::unique_ptr<SystemVisa> system) {
  return std::make_shared<ReopeningVisa>(std::move(system));
}

std::shared_ptr<VisaBinding> ChooseDefault() {
#ifdef _WIN32
  return Guarded(SystemVisa::Load(SystemVisa::VendorLibraries().front()));
#else
  // A library the user named must load; falling back would hide the mistake.
  const char* configured = std::getenv(visa_loader::kPathVariable);
  if (configured != nullptr && *configured != '\0') return Guarded(SystemVisa::Load(configured));
  if (auto system = SystemVisa::LoadFirst(SystemVisa::VendorLibraries())) {
    return Guarded(std::move(system));
  }
  return std::make_shared<BuiltinVisa>(BuiltinVisaOptions{builtinRealSpan});
#endif
}

}  // namespace

VisaBinding& Binding() {
  std::lock_guard lock(chosenMutex);
  if (!chosen) chosen = ChooseDefault();
  return *chosen;
}

void SetBuiltinTimeBase(
    std::function<std::chrono::nanoseconds(std::chrono::nanoseconds)> realSpan) {
  std::lock_guard lock(chosenMutex);
  builtinRealSpan = std::move(realSpan);
}

void SetBinding(std::shared_ptr<VisaBinding> binding) {
  std::lock_guard lock(chosenMutex);
  chosen = std::move(binding);
}

}  // namespace marlin::modVisa

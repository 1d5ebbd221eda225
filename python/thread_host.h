#pragma once
// Host services for a process with several amplifiers, each on a thread of its own: one
// process-wide factory that hands each thread the services of the factory attached to it, and
// a wait service that a stop request breaks off between two slices of a wait.
#include <cstdint>
#include <functional>
#include <memory>

#include "driver/host_registry.h"

namespace marlin::python {

// Raised by a wait when a stop was requested: nothing is being sent or read at that moment.
inline constexpr std::int32_t kInterrupted = 5305;
inline constexpr const char* kInterruptedText = "interrupted by the user";

// Makes the calling thread's services from `factory` until the object is gone; installs the
// process-wide dispatcher the first time.
class AttachedHost {
 public:
  explicit AttachedHost(std::shared_ptr<HostServiceFactory> factory);
  ~AttachedHost();
  AttachedHost(const AttachedHost&) = delete;
  AttachedHost& operator=(const AttachedHost&) = delete;
};

// `inner` whose wait raises kInterrupted once `stopRequested` answers true.
std::shared_ptr<HostServiceFactory> Interruptible(std::shared_ptr<HostServiceFactory> inner,
                                                  std::function<bool()> stopRequested);

}  // namespace marlin::python

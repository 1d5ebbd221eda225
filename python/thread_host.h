#pragma once
// Host services for a process with several amplifiers, each on a thread of its own: one
// process-wide factory that hands each thread the services of the factory attached to it.
#include <memory>

#include "driver/host_registry.h"

namespace marlin::python {

// Makes the calling thread's services from `factory` until the object is gone; installs the
// process-wide dispatcher the first time.
class AttachedHost {
 public:
  explicit AttachedHost(std::shared_ptr<HostServiceFactory> factory);
  ~AttachedHost();
  AttachedHost(const AttachedHost&) = delete;
  AttachedHost& operator=(const AttachedHost&) = delete;
};

}  // namespace marlin::python

#pragma once
// The per-thread adapter of hosts that make driver objects without a context of their own (the
// COM server's objects, marlinctl's commands, tests): one process-wide factory, and on each thread
// one context made from it at first use. Its services come from the factory installed when each
// is first used, so installing a factory later reaches a context that exists already.
#include <memory>

#include "driver/host.h"

namespace marlin {

// Replacing the factory does not touch services that contexts already hold.
void InstallHostServiceFactory(std::shared_ptr<HostServiceFactory> factory);
std::shared_ptr<HostServiceFactory> InstalledHostServiceFactory();

namespace host {
// This thread's context, shared by every object made with it.
std::shared_ptr<Host> ThreadContext();

template <class Service>
void Replace(Service service) {
  ThreadContext()->Replace(std::move(service));
}
// Drops every service of this thread's context; the next use makes them anew.
void ResetThread();
}  // namespace host

}  // namespace marlin

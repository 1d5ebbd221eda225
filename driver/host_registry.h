#pragma once
// Per-thread host service instances, created on first use from a factory that the embedding
// host installs. A test may replace any service for its own thread.
#include <memory>

#include "driver/host_services.h"

namespace marlin {

class VisaBinding;

class HostServiceFactory {
 public:
  virtual ~HostServiceFactory() = default;
  virtual std::unique_ptr<HostTrace> MakeTrace() = 0;
  virtual std::unique_ptr<HostGpib> MakeGpib() = 0;
  virtual std::unique_ptr<HostDevList> MakeDevList() = 0;
  virtual std::unique_ptr<HostTools> MakeTools() = 0;
  virtual std::unique_ptr<HostMessage> MakeMessage() = 0;
  virtual std::unique_ptr<HostTexts> MakeTexts() = 0;
  virtual std::unique_ptr<HostWindows> MakeWindows() = 0;
  // The VISA the driver talks to. Asked at a thread's first VISA call, never before, so the
  // driver works on its other routes where no VISA is installed; a VISA library that cannot be
  // loaded raises the loader's message.
  virtual std::shared_ptr<VisaBinding> MakeVisa() = 0;
};

// Process-wide: the factory every thread creates its services from. Replacing it does not
// touch services that threads already hold.
void InstallHostServiceFactory(std::shared_ptr<HostServiceFactory> factory);
std::shared_ptr<HostServiceFactory> InstalledHostServiceFactory();

namespace host {
// Raise 429 when no factory is installed and the service was never set for this thread.
HostTrace& Trace();
HostGpib& Gpib();
HostDevList& DevList();
HostTools& Tools();
HostMessage& Message();
HostTexts& Texts();
HostWindows& Windows();
// Shared: whoever calls through it holds it for as long as it does, so no later Replace or
// ResetThread can free it under a call.
std::shared_ptr<VisaBinding> Visa();

// This thread only.
void Replace(std::unique_ptr<HostTrace> service);
void Replace(std::unique_ptr<HostGpib> service);
void Replace(std::unique_ptr<HostDevList> service);
void Replace(std::unique_ptr<HostTools> service);
void Replace(std::unique_ptr<HostMessage> service);
void Replace(std::unique_ptr<HostTexts> service);
void Replace(std::unique_ptr<HostWindows> service);
void Replace(std::shared_ptr<VisaBinding> service);
// Drops every service of this thread; the next use creates them anew from the factory.
void ResetThread();
}  // namespace host

}  // namespace marlin

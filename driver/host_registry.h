#pragma once
// Per-thread host service instances, created on first use from a factory that the embedding
// host installs. A test may replace any service for its own thread.
#include <memory>

#include "driver/host_services.h"

namespace marlin {

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

// This thread only.
void Replace(std::unique_ptr<HostTrace> service);
void Replace(std::unique_ptr<HostGpib> service);
void Replace(std::unique_ptr<HostDevList> service);
void Replace(std::unique_ptr<HostTools> service);
void Replace(std::unique_ptr<HostMessage> service);
void Replace(std::unique_ptr<HostTexts> service);
void Replace(std::unique_ptr<HostWindows> service);
// Drops every service of this thread; the next use creates them anew from the factory.
void ResetThread();
}  // namespace host

}  // namespace marlin

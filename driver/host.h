#pragma once
// The host context: the services one driver object reaches its host through, given to the object
// when it is made. Each service is made by the host's factory at its first use in the context (the
// VISA binding included, so the other routes work where no VISA is installed); a test may set any
// of them. Objects that share a context share its services. A context serves one thread at a
// time, as its objects do.
#include <memory>
#include <string>

#include "driver/host_services.h"

namespace marlin {

class Host;
class Procedure;
class VisaBinding;

class HostServiceFactory {
 public:
  virtual ~HostServiceFactory() = default;
  // `context` is the one the service will serve; it outlives the service. A service that records
  // what it is asked names the device the context's work is for (Host::TracedDevice).
  virtual std::unique_ptr<HostTrace> MakeTrace(const Host& context) = 0;
  virtual std::unique_ptr<HostGpib> MakeGpib() = 0;
  virtual std::unique_ptr<HostDevList> MakeDevList() = 0;
  virtual std::unique_ptr<HostTools> MakeTools() = 0;
  virtual std::unique_ptr<HostMessage> MakeMessage(const Host& context) = 0;
  virtual std::unique_ptr<HostTexts> MakeTexts() = 0;
  virtual std::unique_ptr<HostWindows> MakeWindows(const Host& context) = 0;
  // The VISA the driver talks to; a VISA library that cannot be loaded raises the loader's
  // message, and the next call tries again.
  virtual std::shared_ptr<VisaBinding> MakeVisa() = 0;
  // A retried step breaks into a debugger attached to the host's process; a host without that
  // check goes on.
  virtual void BreakIfDebuggerAttached() {}
};

class Host {
 public:
  // A null factory, or one that makes nothing, leaves each service missing until it is set; using
  // a missing service raises 429, as a host whose component is not registered would.
  explicit Host(std::shared_ptr<HostServiceFactory> factory);
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  HostTrace& Trace();
  HostGpib& Gpib();
  HostDevList& DevList();
  HostTools& Tools();
  HostMessage& Message();
  HostTexts& Texts();
  HostWindows& Windows();
  // Shared: whoever calls through it holds it for as long as it does, so no later Replace or
  // Reset can free it under a call.
  std::shared_ptr<VisaBinding> Visa();

  void Replace(std::unique_ptr<HostTrace> service);
  void Replace(std::unique_ptr<HostGpib> service);
  void Replace(std::unique_ptr<HostDevList> service);
  void Replace(std::unique_ptr<HostTools> service);
  void Replace(std::unique_ptr<HostMessage> service);
  void Replace(std::unique_ptr<HostTexts> service);
  void Replace(std::unique_ptr<HostWindows> service);
  void Replace(std::shared_ptr<VisaBinding> service);
  // Drops every service; the next use makes them anew from the factory.
  void Reset();

  // The device this context's work is for: the name of the object whose procedure runs innermost
  // in it, empty outside every procedure and while that object has no name. Objects of one
  // process share its id; a host's trace adds this to its records to tell them apart.
  std::string TracedDevice() const;

  // Asks the factory: the host knows its debugger, the driver does not.
  void BreakIfDebuggerAttached() const;

 private:
  friend class Procedure;
  struct Services;

  std::shared_ptr<HostServiceFactory> factory_;
  std::unique_ptr<Services> services_;
  // Procedures of one context nest strictly, also when a message loop runs another object's
  // handler inside a wait, so the innermost one is whose work is being traced.
  const Procedure* innermost_ = nullptr;
};

}  // namespace marlin

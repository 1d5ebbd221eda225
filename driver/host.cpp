#include "driver/host.h"

#include <utility>

#include "driver/procedure.h"

namespace marlin {

struct Host::Services {
  std::unique_ptr<HostTrace> trace;
  std::unique_ptr<HostGpib> gpib;
  std::unique_ptr<HostDevList> devList;
  std::unique_ptr<HostTools> tools;
  std::unique_ptr<HostMessage> message;
  std::unique_ptr<HostTexts> texts;
  std::unique_ptr<HostWindows> windows;
  std::shared_ptr<VisaBinding> visa;
};

namespace {

template <class Slot, class Make>
auto& Get(Slot& slot, HostServiceFactory* factory, const char* name, Make make) {
  if (!slot) {
    if (factory) slot = make(*factory);
    if (!slot) {
      throw MarlinError(errors::kCannotCreateObject,
                        std::string("ActiveX component can't create object: ") + name);
    }
  }
  return slot;
}

}  // namespace

Host::Host(std::shared_ptr<HostServiceFactory> factory)
    : factory_(std::move(factory)), services_(std::make_unique<Services>()) {}

Host::~Host() = default;

void Host::BreakIfDebuggerAttached() const {
  if (factory_) factory_->BreakIfDebuggerAttached();
}

HostTrace& Host::Trace() {
  return *Get(services_->trace, factory_.get(), "HostTrace",
              [this](HostServiceFactory& f) { return f.MakeTrace(*this); });
}
HostGpib& Host::Gpib() {
  return *Get(services_->gpib, factory_.get(), "HostGpib",
              [](HostServiceFactory& f) { return f.MakeGpib(); });
}
HostDevList& Host::DevList() {
  return *Get(services_->devList, factory_.get(), "HostDevList",
              [](HostServiceFactory& f) { return f.MakeDevList(); });
}
HostTools& Host::Tools() {
  return *Get(services_->tools, factory_.get(), "HostTools",
              [](HostServiceFactory& f) { return f.MakeTools(); });
}
HostMessage& Host::Message() {
  return *Get(services_->message, factory_.get(), "HostMessage",
              [this](HostServiceFactory& f) { return f.MakeMessage(*this); });
}
HostTexts& Host::Texts() {
  return *Get(services_->texts, factory_.get(), "HostTexts",
              [](HostServiceFactory& f) { return f.MakeTexts(); });
}
HostWindows& Host::Windows() {
  return *Get(services_->windows, factory_.get(), "HostWindows",
              [this](HostServiceFactory& f) { return f.MakeWindows(*this); });
}
std::shared_ptr<VisaBinding> Host::Visa() {
  return Get(services_->visa, factory_.get(), "HostVisa",
             [](HostServiceFactory& f) { return f.MakeVisa(); });
}

void Host::Replace(std::unique_ptr<HostTrace> service) { services_->trace = std::move(service); }
void Host::Replace(std::unique_ptr<HostGpib> service) { services_->gpib = std::move(service); }
void Host::Replace(std::unique_ptr<HostDevList> service) {
  services_->devList = std::move(service);
}
void Host::Replace(std::unique_ptr<HostTools> service) { services_->tools = std::move(service); }
void Host::Replace(std::unique_ptr<HostMessage> service) {
  services_->message = std::move(service);
}
void Host::Replace(std::unique_ptr<HostTexts> service) { services_->texts = std::move(service); }
void Host::Replace(std::unique_ptr<HostWindows> service) {
  services_->windows = std::move(service);
}
void Host::Replace(std::shared_ptr<VisaBinding> service) { services_->visa = std::move(service); }

void Host::Reset() { *services_ = Services{}; }

std::string Host::TracedDevice() const {
  return innermost_ ? innermost_->DeviceName() : std::string();
}

}  // namespace marlin

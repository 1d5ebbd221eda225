#include "driver/host_registry.h"

#include "io/visa_binding.h"

#include <mutex>
#include <utility>

namespace marlin {
namespace {

std::mutex factoryMutex;
std::shared_ptr<HostServiceFactory> installedFactory;

struct ThreadServices {
  std::unique_ptr<HostTrace> trace;
  std::unique_ptr<HostGpib> gpib;
  std::unique_ptr<HostDevList> devList;
  std::unique_ptr<HostTools> tools;
  std::unique_ptr<HostMessage> message;
  std::unique_ptr<HostTexts> texts;
  std::unique_ptr<HostWindows> windows;
  std::shared_ptr<VisaBinding> visa;
};

ThreadServices& Mine() {
  thread_local ThreadServices services;
  return services;
}

template <class Slot, class Make>
auto& Get(Slot& slot, const char* name, Make make) {
  if (!slot) {
    auto factory = InstalledHostServiceFactory();
    if (factory) slot = make(*factory);
    if (!slot) {
      throw MarlinError(errors::kCannotCreateObject,
                        std::string("ActiveX component can't create object: ") + name);
    }
  }
  return slot;
}

}  // namespace

void InstallHostServiceFactory(std::shared_ptr<HostServiceFactory> factory) {
  std::lock_guard lock(factoryMutex);
  installedFactory = std::move(factory);
}

std::shared_ptr<HostServiceFactory> InstalledHostServiceFactory() {
  std::lock_guard lock(factoryMutex);
  return installedFactory;
}

namespace host {

HostTrace& Trace() {
  return *Get(Mine().trace, "HostTrace", [](HostServiceFactory& f) { return f.MakeTrace(); });
}
HostGpib& Gpib() {
  return *Get(Mine().gpib, "HostGpib", [](HostServiceFactory& f) { return f.MakeGpib(); });
}
HostDevList& DevList() {
  return *Get(Mine().devList, "HostDevList", [](HostServiceFactory& f) { return f.MakeDevList(); });
}
HostTools& Tools() {
  return *Get(Mine().tools, "HostTools", [](HostServiceFactory& f) { return f.MakeTools(); });
}
HostMessage& Message() {
  return *Get(Mine().message, "HostMessage", [](HostServiceFactory& f) { return f.MakeMessage(); });
}
HostTexts& Texts() {
  return *Get(Mine().texts, "HostTexts", [](HostServiceFactory& f) { return f.MakeTexts(); });
}
HostWindows& Windows() {
  return *Get(Mine().windows, "HostWindows", [](HostServiceFactory& f) { return f.MakeWindows(); });
}

std::shared_ptr<VisaBinding> Visa() {
  return Get(Mine().visa, "HostVisa", [](HostServiceFactory& f) { return f.MakeVisa(); });
}

void Replace(std::unique_ptr<HostTrace> service) { Mine().trace = std::move(service); }
void Replace(std::unique_ptr<HostGpib> service) { Mine().gpib = std::move(service); }
void Replace(std::unique_ptr<HostDevList> service) { Mine().devList = std::move(service); }
void Replace(std::unique_ptr<HostTools> service) { Mine().tools = std::move(service); }
void Replace(std::unique_ptr<HostMessage> service) { Mine().message = std::move(service); }
void Replace(std::unique_ptr<HostTexts> service) { Mine().texts = std::move(service); }
void Replace(std::unique_ptr<HostWindows> service) { Mine().windows = std::move(service); }
void Replace(std::shared_ptr<VisaBinding> service) { Mine().visa = std::move(service); }

void ResetThread() { Mine() = ThreadServices{}; }

}  // namespace host
}  // namespace marlin

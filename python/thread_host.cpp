#include "python/thread_host.h"

#include <mutex>
#include <utility>

#include "driver/marlin_error.h"

namespace marlin::python {
namespace {

thread_local std::shared_ptr<HostServiceFactory> attached;

HostServiceFactory& Attached() {
  if (!attached) {
    throw MarlinError(errors::kCannotCreateObject,
                      "no host services on this thread: it belongs to no amplifier");
  }
  return *attached;
}

class ThreadDispatch final : public HostServiceFactory {
 public:
  std::unique_ptr<HostTrace> MakeTrace() override { return Attached().MakeTrace(); }
  std::unique_ptr<HostGpib> MakeGpib() override { return Attached().MakeGpib(); }
  std::unique_ptr<HostDevList> MakeDevList() override { return Attached().MakeDevList(); }
  std::unique_ptr<HostTools> MakeTools() override { return Attached().MakeTools(); }
  std::unique_ptr<HostMessage> MakeMessage() override { return Attached().MakeMessage(); }
  std::unique_ptr<HostTexts> MakeTexts() override { return Attached().MakeTexts(); }
  std::unique_ptr<HostWindows> MakeWindows() override { return Attached().MakeWindows(); }
  std::shared_ptr<VisaBinding> MakeVisa() override { return Attached().MakeVisa(); }
};

}  // namespace

AttachedHost::AttachedHost(std::shared_ptr<HostServiceFactory> factory) {
  static std::once_flag installed;
  std::call_once(installed, [] { InstallHostServiceFactory(std::make_shared<ThreadDispatch>()); });
  host::ResetThread();
  attached = std::move(factory);
}

AttachedHost::~AttachedHost() {
  host::ResetThread();
  attached.reset();
}

}  // namespace marlin::python

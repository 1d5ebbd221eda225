#pragma once
// A host factory that hands out another factory's services; a host that changes some of them
// overrides only those.
#include <memory>
#include <utility>

#include "driver/host.h"

namespace marlin::cli {

class ForwardingHostFactory : public HostServiceFactory {
 public:
  explicit ForwardingHostFactory(std::shared_ptr<HostServiceFactory> inner)
      : inner_(std::move(inner)) {}

  std::unique_ptr<HostTrace> MakeTrace(const Host& context) override {
    return inner_->MakeTrace(context);
  }
  std::unique_ptr<HostGpib> MakeGpib() override { return inner_->MakeGpib(); }
  std::unique_ptr<HostDevList> MakeDevList() override { return inner_->MakeDevList(); }
  std::unique_ptr<HostTools> MakeTools() override { return inner_->MakeTools(); }
  std::unique_ptr<HostMessage> MakeMessage(const Host& context) override {
    return inner_->MakeMessage(context);
  }
  std::unique_ptr<HostTexts> MakeTexts() override { return inner_->MakeTexts(); }
  std::unique_ptr<HostWindows> MakeWindows(const Host& context) override {
    return inner_->MakeWindows(context);
  }
  std::shared_ptr<VisaBinding> MakeVisa() override { return inner_->MakeVisa(); }
  void BreakIfDebuggerAttached() override { inner_->BreakIfDebuggerAttached(); }

 protected:
  std::shared_ptr<HostServiceFactory> inner_;
};

}  // namespace marlin::cli

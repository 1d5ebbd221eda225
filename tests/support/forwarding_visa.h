#pragma once
// A VISA layer that hands every operation to another one; test layers derive from it and
// override only the operations they watch.
#include <memory>
#include <string>
#include <utility>

#include "io/visa_binding.h"

namespace marlin::testing {

class ForwardingVisa : public VisaBinding {
 public:
  explicit ForwardingVisa(std::shared_ptr<VisaBinding> inner) : inner_(std::move(inner)) {}
  ViStatus viOpenDefaultRM(ViSession& rm) override { return inner_->viOpenDefaultRM(rm); }
  ViStatus viOpen(ViSession rm, const std::string& resource, std::uint32_t mode,
                  std::uint32_t timeout, ViSession& vi) override {
    return inner_->viOpen(rm, resource, mode, timeout, vi);
  }
  ViStatus viSetAttribute(ViSession vi, ViAttr attribute, std::uint64_t value) override {
    return inner_->viSetAttribute(vi, attribute, value);
  }
  ViStatus viClear(ViSession vi) override { return inner_->viClear(vi); }
  ViStatus viClose(ViSession vi) override { return inner_->viClose(vi); }
  ViStatus viWrite(ViSession vi, const std::string& bytes, std::uint32_t count,
                   std::uint32_t& written) override {
    return inner_->viWrite(vi, bytes, count, written);
  }
  ViStatus viRead(ViSession vi, std::string& buffer, std::uint32_t count,
                  std::uint32_t& read) override {
    return inner_->viRead(vi, buffer, count, read);
  }

 private:
  std::shared_ptr<VisaBinding> inner_;
};

}  // namespace marlin::testing

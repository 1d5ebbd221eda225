#pragma once
// Route services that count the lines the driver sends, so a test clock can hold time still
// until the simulator has read them: with a virtual clock, a command sent just before a wait
// would otherwise reach the simulator after the clock has jumped.
#include <algorithm>
#include <atomic>
#include <memory>
#include <string>

#include "driver/host_services.h"
#include "host/lan_sockets.h"
#include "io/visa_binding.h"
#include "tests/support/forwarding_visa.h"

namespace marlin::testing {

inline std::size_t LinesIn(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

class CountingLan final : public LanSockets {
 public:
  CountingLan(std::shared_ptr<LanSockets> inner, std::atomic<std::size_t>& sent)
      : inner_(std::move(inner)), sent_(sent) {}
  void Open(const std::string& h, std::int32_t p, std::int32_t& s, bool& ok) override {
    inner_->Open(h, p, s, ok);
  }
  void Close(std::int32_t s, bool& ok) override { inner_->Close(s, ok); }
  void Send(std::int32_t s, const std::string& text, bool& ok) override {
    inner_->Send(s, text, ok);
    if (ok) sent_ += LinesIn(text);
  }
  void Query(std::int32_t s, const std::string& text, std::string& answer, bool& ok) override {
    sent_ += LinesIn(text);
    inner_->Query(s, text, answer, ok);
  }
  void IsConnected(std::int32_t s, bool& connected) override { inner_->IsConnected(s, connected); }

 private:
  std::shared_ptr<LanSockets> inner_;
  std::atomic<std::size_t>& sent_;
};

// `timeoutMs` (when not 0) replaces every session timeout the driver sets.
class CountingVisa final : public ForwardingVisa {
 public:
  CountingVisa(std::shared_ptr<VisaBinding> inner, std::atomic<std::size_t>& sent,
               std::uint32_t timeoutMs = 0)
      : ForwardingVisa(std::move(inner)), sent_(sent), timeoutMs_(timeoutMs) {}
  ViStatus viSetAttribute(ViSession vi, ViAttr attribute, std::uint64_t value) override {
    if (attribute == visa_attr::kTimeoutValue && timeoutMs_ != 0) value = timeoutMs_;
    return ForwardingVisa::viSetAttribute(vi, attribute, value);
  }
  ViStatus viWrite(ViSession vi, const std::string& bytes, std::uint32_t count,
                   std::uint32_t& written) override {
    ViStatus status = ForwardingVisa::viWrite(vi, bytes, count, written);
    sent_ += LinesIn(bytes.substr(0, written));
    return status;
  }

 private:
  std::atomic<std::size_t>& sent_;
  std::uint32_t timeoutMs_;
};

// `timeoutCode` (when not 0) replaces the timeout code the driver opens devices with.
class CountingGpib final : public HostGpib {
 public:
  CountingGpib(std::unique_ptr<HostGpib> inner, std::atomic<std::size_t>& sent,
               std::int32_t timeoutCode = 0)
      : inner_(std::move(inner)), sent_(sent), timeoutCode_(timeoutCode) {}
  std::int16_t GpibStatus() override { return inner_->GpibStatus(); }
  bool GpibSucceeded() override { return inner_->GpibSucceeded(); }
  void GpibOpen(std::int16_t b, std::int16_t p, std::int32_t s, std::int32_t t, std::int32_t e,
                std::int32_t o, std::int16_t& h) override {
    inner_->GpibOpen(b, p, s, timeoutCode_ != 0 ? timeoutCode_ : t, e, o, h);
  }
  void GpibPrepareClose(std::int16_t h) override { inner_->GpibPrepareClose(h); }
  void GpibClose(std::int16_t h, std::int32_t m) override { inner_->GpibClose(h, m); }
  void GpibWrite(std::int16_t h, const std::string& text) override {
    inner_->GpibWrite(h, text);
    sent_ += LinesIn(text);
  }
  void GpibRead(std::int16_t h, std::string& text) override { inner_->GpibRead(h, text); }

 private:
  std::unique_ptr<HostGpib> inner_;
  std::atomic<std::size_t>& sent_;
  std::int32_t timeoutCode_;
};

}  // namespace marlin::testing

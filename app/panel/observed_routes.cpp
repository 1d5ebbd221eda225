#include "app/panel/observed_routes.h"

#include <algorithm>
#include <utility>

namespace marlin::panel {
namespace {

class ObservedLan final : public HostDevList {
 public:
  ObservedLan(std::unique_ptr<HostDevList> inner, ExchangeListener listener)
      : inner_(std::move(inner)), listener_(std::move(listener)) {}

  std::int32_t GetAddress(const std::string& name) override { return inner_->GetAddress(name); }
  std::string GetVisaResource(const std::string& name) override {
    return inner_->GetVisaResource(name);
  }
  std::string GetLanAddress(const std::string& name) override {
    return inner_->GetLanAddress(name);
  }
  void SetLanAddress(const std::string& name, const std::string& address) override {
    inner_->SetLanAddress(name, address);
  }
  std::string GetDescription(const std::string& name) override {
    return inner_->GetDescription(name);
  }
  std::int32_t GetInterface(const std::string& name) override { return inner_->GetInterface(name); }
  void LanOpen(const std::string& host, std::int32_t port, std::int32_t localPort,
               const std::string& protocol, std::int32_t& socket, bool& ok) override {
    inner_->LanOpen(host, port, localPort, protocol, socket, ok);
  }
  void LanClose(std::int32_t socket, bool& ok) override { inner_->LanClose(socket, ok); }
  void LanSend(std::int32_t socket, const std::string& text, bool& ok) override {
    inner_->LanSend(socket, text, ok);
  }
  void LanQuery(std::int32_t socket, const std::string& text, std::string& answer,
                bool& ok) override {
    inner_->LanQuery(socket, text, answer, ok);
    if (ok) listener_(text, answer);
  }
  void LanIsConnected(std::int32_t socket, bool& connected) override {
    inner_->LanIsConnected(socket, connected);
  }
  void CheckLanDevice(const std::string& name, bool& allowed) override {
    inner_->CheckLanDevice(name, allowed);
  }

 private:
  std::unique_ptr<HostDevList> inner_;
  ExchangeListener listener_;
};

// GPIB and VISA write a query and read its answer in two calls: the first read after a write
// answers it, later reads (the rest of a long answer) answer nothing new.
class ObservedGpibService final : public HostGpib {
 public:
  ObservedGpibService(std::unique_ptr<HostGpib> inner, ExchangeListener listener)
      : inner_(std::move(inner)), listener_(std::move(listener)) {}

  std::int16_t GpibStatus() override { return inner_->GpibStatus(); }
  bool GpibSucceeded() override { return inner_->GpibSucceeded(); }
  void GpibOpen(std::int16_t board, std::int16_t primaryAddress, std::int32_t secondaryAddress,
                std::int32_t timeoutCode, std::int32_t eoiMode, std::int32_t eosMode,
                std::int16_t& handle) override {
    inner_->GpibOpen(board, primaryAddress, secondaryAddress, timeoutCode, eoiMode, eosMode,
                     handle);
  }
  void GpibPrepareClose(std::int16_t handle) override { inner_->GpibPrepareClose(handle); }
  void GpibClose(std::int16_t handle, std::int32_t mode) override {
    inner_->GpibClose(handle, mode);
  }
  void GpibWrite(std::int16_t handle, const std::string& text) override {
    query_ = text;
    inner_->GpibWrite(handle, text);
  }
  void GpibRead(std::int16_t handle, std::string& text) override {
    inner_->GpibRead(handle, text);
    if (!query_.empty() && inner_->GpibSucceeded()) listener_(query_, text);
    query_.clear();
  }

 private:
  std::unique_ptr<HostGpib> inner_;
  ExchangeListener listener_;
  std::string query_;
};

class ObservedVisaBinding final : public VisaBinding {
 public:
  ObservedVisaBinding(std::shared_ptr<VisaBinding> inner, ExchangeListener listener)
      : inner_(std::move(inner)), listener_(std::move(listener)) {}

  ViStatus viOpenDefaultRM(ViSession& rm) override { return inner_->viOpenDefaultRM(rm); }
  ViStatus viOpen(ViSession rm, const std::string& resource, std::uint32_t accessMode,
                  std::uint32_t openTimeout, ViSession& vi) override {
    return inner_->viOpen(rm, resource, accessMode, openTimeout, vi);
  }
  ViStatus viSetAttribute(ViSession vi, ViAttr attribute, std::uint64_t value) override {
    return inner_->viSetAttribute(vi, attribute, value);
  }
  ViStatus viClear(ViSession vi) override { return inner_->viClear(vi); }
  ViStatus viClose(ViSession vi) override { return inner_->viClose(vi); }
  ViStatus viWrite(ViSession vi, const std::string& bytes, std::uint32_t count,
                   std::uint32_t& written) override {
    query_ = bytes.substr(0, count);
    return inner_->viWrite(vi, bytes, count, written);
  }
  ViStatus viRead(ViSession vi, std::string& buffer, std::uint32_t count,
                  std::uint32_t& read) override {
    const ViStatus status = inner_->viRead(vi, buffer, count, read);
    if (!query_.empty() && status >= 0) {
      listener_(query_, buffer.substr(0, std::min<std::size_t>(read, buffer.size())));
    }
    query_.clear();
    return status;
  }

 private:
  std::shared_ptr<VisaBinding> inner_;
  ExchangeListener listener_;
  std::string query_;
};

}  // namespace

std::unique_ptr<HostDevList> ObservedDevList(std::unique_ptr<HostDevList> inner,
                                             ExchangeListener listener) {
  return std::make_unique<ObservedLan>(std::move(inner), std::move(listener));
}

std::unique_ptr<HostGpib> ObservedGpib(std::unique_ptr<HostGpib> inner, ExchangeListener listener) {
  return std::make_unique<ObservedGpibService>(std::move(inner), std::move(listener));
}

std::shared_ptr<VisaBinding> ObservedVisa(std::shared_ptr<VisaBinding> inner,
                                          ExchangeListener listener) {
  return std::make_shared<ObservedVisaBinding>(std::move(inner), std::move(listener));
}

}  // namespace marlin::panel
